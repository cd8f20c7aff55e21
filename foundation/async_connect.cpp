#include "foundation/async_connect.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

#include "foundation/inet4_addr.h"

namespace ASync {

const char* Connect::Status::name(Type type) {
  switch (type) {
    case idle: return "idle";
    case connecting: return "connecting";
    case failed: return "failed";
    case connected: return "connected";
    case stopped: return "stopped";
  }
  return "unknown";
}

Connect::Connect() : mStatus(Status::idle), mHandler(nullptr) {}

Connect::~Connect() { delete mHandler; }

void Connect::Bind(Handler* h) {
  delete mHandler;
  mHandler = h;
}

void Connect::UnBind() {
  delete mHandler;
  mHandler = nullptr;
}

void Connect::Start(const std::string& address, unsigned int timeout) {
  mStatus = Status::connecting;
  mSocket = Fd(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!mSocket.is_valid() || !mSocket.NonBlock()) {
    Complete(Status::failed);
    return;
  }
  // A text that does not parse would otherwise connect to 0.0.0.0, the
  // board itself.
  INet4::Addr peer;
  if (!peer.Assign(address, nullptr)) {
    Complete(Status::failed);
    return;
  }
  if (::connect(mSocket.lowlevel_fd(), peer, peer.size()) == 0) {
    Complete(Status::connected);
    return;
  }
  if (errno != EINPROGRESS) {
    Complete(Status::failed);
    return;
  }
  mEvent.Schedule(mSocket, POLLOUT);
  mEvent.Bind("Connect::OnSocketEvent", &Connect::OnSocketEvent, this);
  mTimer.set(timeout, &Connect::OnTimeOut, this);
}

void Connect::Stop() { Complete(Status::stopped); }

void Connect::OnSocketEvent(int fd, short events) {
  if (events & (POLLERR | POLLHUP | POLLNVAL)) {
    Complete(Status::failed);
    return;
  }
  if (!(events & POLLOUT)) return;
  int error = 0;
  socklen_t length = sizeof(error);
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
    Complete(Status::failed);
    return;
  }
  Complete(Status::connected);
}

void Connect::OnTimeOut(Timer*) { Complete(Status::failed); }

void Connect::Complete(Status::Type status) {
  if (mStatus != Status::connecting) return;
  mStatus = status;
  Fd socket;
  if (status == Status::connected) socket = mSocket;
  mSocket.close();
  mEvent.Release();
  mEvent.UnBind();
  mTimer.reset();
  if (mHandler) mHandler->Invoke(status, socket);
}

}  // namespace ASync
