// What the TCP connector (net/connector_net.h) and the local-socket connector
// (net/service_unix.h) are made of; `Base` is the family's service.
//
// Activate() starts the first attempt at once, unless no attempt could reach
// the peer (logged; nothing connects). Each attempt opens a new non-blocking
// socket; when none can be made the attempts end (Idle) until the next
// Activate(). A failed attempt is tried again as net/retry_schedule.h says;
// an error or hang-up on the watched socket is one ("fail to connect to ").
// When an established connection ends, the next attempt comes 10 seconds
// later. Deactivate() closes a live connection without OnDisconnect.
//
// Lines go to std::cerr whatever the verbose flag. Loop thread only.
#pragma once

#include <string>

#include "foundation/event.h"
#include "foundation/fd.h"
#include "net/retry_schedule.h"

namespace Control {

template <class Base>
class Connector : public Base, public RetryDelays {
 public:
  // One attempt; the family's.
  virtual void TryConnect() = 0;
  // The watch on the connecting socket.
  void OnSocketEvent(int fd, short revents);

  bool retry_pending() const { return retry_.pending(); }

 protected:
  // `event_name` names the watch in the loop; the sockets are of `domain`
  // and `protocol`, called `noun` in the lines that report their set-up.
  Connector(const char* event_name, int domain, int protocol, const char* noun);

  bool ImplActivate() override;
  void ImplDeactivate() override;
  void ImplOnDisconnect() override { retry_.AfterConnectionEnd(); }

  // The family's part. False, with a line that says why, when no attempt
  // could reach the peer.
  virtual bool CheckPeer() const = 0;
  // The peer as the log lines show it.
  virtual std::string PeerName() const = 0;
  // The watched socket became writable (the watch has ended).
  virtual void OnWritable() {}

  // Replaces the connecting socket with a new non-blocking one. False when
  // none can be made: logged, and the attempts end (Deactivate).
  bool OpenSocket();

  Fd connect_;
  RetrySchedule<Connector> retry_{this, &Connector::TryConnect};
  Event event_;

 private:
  int domain_;
  int protocol_;
  const char* noun_;
};

}  // namespace Control
