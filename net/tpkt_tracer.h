// TPKTTracer: a small TCP server for tracing that exchanges TPKT frames
// (net/tpkt_frame.h) with any number of clients, directly on descriptors and
// the event loop, not through a protocol stack.
//
// Each client's frames (bodies of at most 512 bytes) are handed, body by
// body, to the receiver set with SetReceiver(); with none they are read and
// dropped. A bad header, a body above 512 bytes, a peer close or a socket
// error ends that client's connection silently. Send() frames one body for
// the client whose data is being handled (when called from the receiver) or
// for every client.
//
// Start-up does not open a tracer. Loop thread only.
#pragma once

#include <list>

#include "foundation/event.h"
#include "foundation/fd.h"
#include "foundation/inet4_addr.h"

class TPKTTracer {
 public:
  static constexpr unsigned max_body = 512;

  // Told of every complete body; the bytes are valid during the call only.
  // The receiver may Send() (to the same client) and may end that client's
  // connection through the tracer's calls; it must not destroy the tracer.
  class Receiver {
   public:
    virtual ~Receiver() = default;
    virtual void OnTraceFrame(const unsigned char* body, unsigned length) = 0;
  };

  struct Connection {
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    int state = 1;  // 1: reading a 4-byte header, 0: reading a body
    unsigned needed = 4;
    unsigned received = 0;
    Event event;
    unsigned char buffer[max_body];
  };
  using Position = std::list<Connection*>::iterator;

  TPKTTracer();
  // Closes every client's socket, then the listening socket.
  ~TPKTTracer();
  TPKTTracer(const TPKTTracer&) = delete;
  TPKTTracer& operator=(const TPKTTracer&) = delete;

  void SetReceiver(Receiver* receiver) { receiver_ = receiver; }

  // Listens on every local address; false (socket closed) when a step fails.
  bool Listen(unsigned short port);
  // Listens on one local address and its port.
  bool Listen(const INet4::Addr& local);
  // The port listened on (useful with port 0), 0 when not listening.
  unsigned short LocalPort() const;

  void OnEvent(int fd, short events);
  void OnDataEvent(int fd, short events);

  // Frames `data` for the current client or for every client. False, and
  // nothing sent, for a body above 65,531 bytes (the 16-bit length would
  // wrap).
  bool Send(const void* data, unsigned len);

  void CloseConnection(Position position);
  Position FindConnection(int fd);
  unsigned connection_count() const { return static_cast<unsigned>(connections_.size()); }

 private:
  Receiver* receiver_ = nullptr;
  Event listen_;
  std::list<Connection*> connections_;
  Position current_;
};
