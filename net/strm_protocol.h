// StrmProtocol: the bottom layer of a framed connection, owning the connected
// stream socket.
//
// Reading: while active, the layer watches the socket; each readiness makes
// one recv into a fresh pool packet (up to 65,536 bytes) that goes up with
// on_message(). When the poll result carries a hang-up or an error together
// with readable data, what is readable is read and passed up first, then the
// connection ends.
//
// Writing: message() writes the packet completely before it returns, waiting
// at most 1000 ms in all for room in a full socket. The event loop does not
// run during that wait, so the watchdog is fed before and after each wait.
// Each message is its own write. While the frames of one read are handled
// and more of that read remains, a TCP socket is corked (TCP_CORK): the
// answers gather in the kernel, and with them whatever the handlers served
// after the read in the same pass of the loop send (a signal from a line, say),
// and leave together at the start of the next pass, instead of waking the
// peer once per message. A read that carries one frame costs no system call
// for this.
//
// Every end of the connection (read error, peer close, hang-up, write error,
// write time-out) closes the descriptor and reports an error status up the
// stack through on_deactivate(); the layer never deletes anything itself.
// Callbacks up the stack run inside on_event() or message() and may re-enter
// the stack; they must not destroy this layer.
//
// Log lines start with "SockStream[<service name>]: ". Loop thread only.
#pragma once

#include <poll.h>

#include <string>

#include "foundation/dpc.h"
#include "foundation/event.h"
#include "foundation/fd.h"
#include "foundation/measure.h"
#include "net/protocol.h"

class StrmProtocol : public Protocol {
 public:
  // Budget for writing one message into a full socket.
  static constexpr unsigned write_timeout_ms = 1000;

  StrmProtocol();
  explicit StrmProtocol(Fd fd);
  // Closes any descriptor held.
  ~StrmProtocol() override;

  // Takes its own duplicate of `fd`, releasing any descriptor held before.
  void attach(Fd fd);
  // Stops watching and closes the descriptor; nothing is reported.
  void release();
  bool opened() const { return fd_.is_valid(); }

  void local_prepare_head(Packet& packet) override;
  void local_prepare_tail(Packet& packet) override;
  // Starts watching the descriptor and reports activation upward; without a
  // descriptor reports the error "fd not attached" instead.
  void local_activate() override;
  // release(), then reports success down the stack.
  void local_deactivate() override;
  // Writes the packet's bytes completely or ends the connection.
  void message(Packet& packet) override;

  void on_event(int fd, short revents);

  const std::string& service_name() const { return service_; }
  void service_name(const std::string& name) { service_ = name; }
  const Measure& get_read_measure() const { return read_measure_; }
  const Measure& get_write_measure() const { return write_measure_; }
  unsigned GetOverflowCounter() const { return overflow_; }
  void PutHeader(std::ostream& os) const;

  // Socket statistics for the write-failure lines; -1 when the query fails.
  int sendbuf_space() const;
  int recvbuf_space() const;
  int inq_space() const;
  int outq_space() const;
  int free_space() const;

  // The wait for room in a full socket, poll(2) by default; tests replace it
  // to let a virtual clock run. Returns the one installed before.
  using WaitFunction = int (*)(pollfd* fds, nfds_t count, int timeout);
  static WaitFunction setWaitFunction(WaitFunction wait);

 private:
  void init();
  // One recv; true when bytes were passed up. The end of the stream or a
  // read error ends the connection when `report_end` is set.
  bool do_read(bool report_end);
  void on_error(const std::string& text);
  void write_failed(const char* what, const std::string* error_text);
  // Corks the socket before a write while the read being handled holds more
  // bytes; uncork() releases what gathered, called by uncork_later_ at the
  // start of the next pass.
  void cork_if_more_follows();
  void uncork();

  Protocol_name_str name_;
  Fd fd_;
  bool outq_reports_room_ = false;
  std::string service_;
  Event event_;
  Measure read_measure_{Measure::Clock::pass};
  Measure write_measure_{Measure::Clock::pass};
  unsigned overflow_ = 0;
  // The chunk being handed up; its unread length tells whether more frames
  // of the same read follow the one being answered.
  const Packet* reading_ = nullptr;
  bool corked_ = false;
  Dpc uncork_later_;
  bool cork_refused_ = false;  // not a TCP socket: never tried again
};
