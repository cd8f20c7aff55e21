#include "net/strm_protocol.h"

#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <iostream>
#include <sstream>

#include "foundation/errno_text.h"
#include "foundation/multiplexer.h"
#include "foundation/mux_clock.h"
#include "foundation/text_output.h"

namespace {

StrmProtocol::WaitFunction wait_function = &::poll;

std::string error_text(const Errno& e) {
  std::ostringstream os;
  os << e;
  return os.str();
}

}  // namespace

StrmProtocol::WaitFunction StrmProtocol::setWaitFunction(WaitFunction wait) {
  WaitFunction before = wait_function;
  wait_function = wait ? wait : &::poll;
  return before;
}

StrmProtocol::StrmProtocol() : name_("StrmProtocol") { init(); }

StrmProtocol::StrmProtocol(Fd fd) : name_("StrmProtocol") {
  init();
  attach(fd);
}

StrmProtocol::~StrmProtocol() { release(); }

void StrmProtocol::init() {
  overflow_ = 0;
  event_.Bind("StrmProtocol::on_event", &StrmProtocol::on_event, this);
  uncork_later_.Bind(this, &StrmProtocol::uncork);
}

void StrmProtocol::PutHeader(std::ostream& os) const { os << "SockStream[" << service_ << "]: "; }

void StrmProtocol::attach(Fd fd) {
  release();
  fd_ = fd;
  // Some descriptors report free room rather than queued bytes; a freshly
  // connected socket has an empty queue, so a positive answer tells them apart.
  int queued = 0;
  outq_reports_room_ = ::ioctl(fd_.lowlevel_fd(), TIOCOUTQ, &queued) == 0 && queued > 0;
  cork_refused_ = false;
}

void StrmProtocol::release() {
  corked_ = false;
  uncork_later_.Deactivate();
  if (!fd_.is_valid()) return;
  event_.Release();
  fd_.close();
}

void StrmProtocol::cork_if_more_follows() {
  if (corked_ || cork_refused_ || !reading_ || reading_->empty()) return;
  const int on = 1;
  if (::setsockopt(fd_.lowlevel_fd(), IPPROTO_TCP, TCP_CORK, &on, sizeof on) == 0)
    corked_ = true;
  else
    cork_refused_ = true;
}

void StrmProtocol::uncork() {
  uncork_later_.Deactivate();
  if (!corked_) return;
  corked_ = false;
  const int off = 0;
  ::setsockopt(fd_.lowlevel_fd(), IPPROTO_TCP, TCP_CORK, &off, sizeof off);
}

void StrmProtocol::local_prepare_head(Packet& packet) { packet.reserve_head(0); }

void StrmProtocol::local_prepare_tail(Packet& packet) { packet.reserve_tail(0); }

void StrmProtocol::local_activate() {
  if (!opened()) {
    on_deactivate(Protocol_status(new Protocol_status_error(this, "fd not attached")));
    return;
  }
  event_.Schedule(fd_, POLLIN);
  on_activate();
}

void StrmProtocol::local_deactivate() {
  release();
  on_deactivate(Protocol_status(new Protocol_status_success(this, "success")));
}

void StrmProtocol::on_error(const std::string& text) {
  release();
  on_deactivate(Protocol_status(new Protocol_status_error(this, text)));
}

void StrmProtocol::on_event(int, short revents) {
  if (revents & (POLLERR | POLLHUP)) {
    // The peer's last bytes come before the end of the connection.
    if (revents & POLLIN) {
      while (opened() && do_read(false)) {
      }
      if (!opened()) return;
    }
    const Errno e;
    on_error(std::string((revents & POLLERR) ? "pollerr: " : "pollhup: ") + error_text(e));
    return;
  }
  if (revents & POLLIN) do_read(true);
}

bool StrmProtocol::do_read(bool report_end) {
  Packet packet;
  packet.reserve_head(0);
  read_measure_.begin();
  const ssize_t n = ::recv(fd_.lowlevel_fd(), packet.tail(), packet.tailroom(),
                           MSG_DONTWAIT | MSG_NOSIGNAL);
  read_measure_.end();
  if (n < 0) {
    const Errno e;
    if (e.value() != EAGAIN && e.value() != EWOULDBLOCK && report_end)
      on_error("read error: " + error_text(e));
    return false;
  }
  if (n == 0) {
    const Errno e;
    if (report_end) on_error("read error: " + error_text(e));
    return false;
  }
  packet.put(static_cast<unsigned>(n));
  reading_ = &packet;
  on_message(packet);
  reading_ = nullptr;
  if (corked_) uncork_later_.Activate();
  return true;
}

void StrmProtocol::message(Packet& packet) {
  // The budget starts at the first full socket: the writes before it do not
  // wait, and the clock is not read for a message that goes out at once.
  bool waited = false;
  unsigned start = 0;
  write_measure_.begin();
  const unsigned char* at = packet.empty() ? nullptr : packet.data();
  unsigned left = packet.length();
  if (!opened() && left > 0) {
    // Released before the send: fail as a write on a closed descriptor does,
    // so the message does not vanish without a line and an ended connection.
    errno = EBADF;
    const std::string text = error_text(Errno());
    write_failed("write error", &text);
    return;
  }
  cork_if_more_follows();
  while (left > 0) {
    if (!opened()) return;  // ended (and reported) from inside a wait callback
    const ssize_t n = ::write(fd_.lowlevel_fd(), at, left);
    if (n != -1) {
      at += n;
      left -= static_cast<unsigned>(n);
      continue;
    }
    const Errno e;
    if (e.value() == EINTR) continue;
    if (e.value() != EAGAIN && e.value() != EWOULDBLOCK) {
      const std::string text = error_text(e);
      write_failed("write error", &text);
      return;
    }
    if (!waited) {
      waited = true;
      start = Mux::milliseconds();
    }
    const int time_left = static_cast<int>(write_timeout_ms) -
                          static_cast<int>(Mux::milliseconds() - start);
    if (time_left < 1) {
      write_failed("write timeout", nullptr);
      return;
    }
    multiplexer.resetWD();
    pollfd entry{fd_.lowlevel_fd(), POLLOUT, 0};
    const int ready = wait_function(&entry, 1, time_left);
    const Errno wait_error;
    multiplexer.resetWD();
    if (ready == 1 || (ready == -1 && wait_error.value() == EINTR)) continue;
    write_failed("write timeout", nullptr);
    return;
  }
  write_measure_.end();
}

void StrmProtocol::write_failed(const char* what, const std::string* error_text) {
  write_measure_.end();
  std::cerr << ext::header(this) << what << ", sendbuf=" << sendbuf_space()
            << ", recvbuf=" << recvbuf_space() << ", free=" << free_space()
            << ", inq=" << inq_space() << ", outq=" << outq_space();
  if (error_text) std::cerr << ", error=" << *error_text;
  std::cerr << std::endl;
  ++overflow_;
  on_error(error_text ? std::string(what) + ": " + *error_text : std::string(what));
}

int StrmProtocol::sendbuf_space() const {
  int value = 0;
  socklen_t size = sizeof value;
  if (::getsockopt(fd_.lowlevel_fd(), SOL_SOCKET, SO_SNDBUF, &value, &size) != 0) return -1;
  return value;
}

int StrmProtocol::recvbuf_space() const {
  int value = 0;
  socklen_t size = sizeof value;
  if (::getsockopt(fd_.lowlevel_fd(), SOL_SOCKET, SO_RCVBUF, &value, &size) != 0) return -1;
  return value;
}

int StrmProtocol::inq_space() const {
  int value = 0;
  if (::ioctl(fd_.lowlevel_fd(), FIONREAD, &value) != 0) return -1;
  return value;
}

int StrmProtocol::outq_space() const {
  int value = 0;
  if (::ioctl(fd_.lowlevel_fd(), TIOCOUTQ, &value) != 0) return -1;
  return value;
}

int StrmProtocol::free_space() const {
  const int queued = outq_space();
  if (outq_reports_room_) return queued;
  return sendbuf_space() - queued;
}
