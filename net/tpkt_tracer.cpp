#include "net/tpkt_tracer.h"

#include <errno.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <iostream>

#include "net/socket_setup.h"
#include "net/tpkt_frame.h"

TPKTTracer::TPKTTracer() : current_(connections_.end()) {}

TPKTTracer::~TPKTTracer() {
  for (Connection* c : connections_) delete c;
  connections_.clear();
  listen_.Release();
}

bool TPKTTracer::Listen(unsigned short port) {
  INet4::Addr any;
  any.port(port);
  return Listen(any);
}

bool TPKTTracer::Listen(const INet4::Addr& local) {
  Fd socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!socket.is_valid()) return false;
  INet4::Addr address(local);
  if (::bind(socket.lowlevel_fd(), address, address.size()) != 0) return false;
  if (::listen(socket.lowlevel_fd(), 1) != 0) return false;
  if (!socket.NonBlock()) return false;
  listen_.Bind("TPKTTracer::OnEvent", &TPKTTracer::OnEvent, this);
  listen_.Schedule(socket, POLLIN);
  return true;
}

unsigned short TPKTTracer::LocalPort() const {
  return listen_.IsActive() ? Control::BoundPort(listen_.lowlevel_fd()) : 0;
}

void TPKTTracer::OnEvent(int fd, short events) {
  if (!(events & POLLIN)) return;
  for (;;) {
    sockaddr_in sin{};
    socklen_t size = sizeof sin;
    const int accepted = ::accept(fd, reinterpret_cast<sockaddr*>(&sin), &size);
    if (accepted < 0) return;
    Fd socket(accepted);
    std::clog << "ACP connection open from " << INet4::Addr(sin) << std::endl;
    if (!socket.NonBlock()) continue;
    Connection* c = new Connection;
    c->event.Bind("TPKTTracer::OnDataEvent", &TPKTTracer::OnDataEvent, this);
    c->event.Schedule(socket, POLLIN);
    connections_.push_back(c);
  }
}

TPKTTracer::Position TPKTTracer::FindConnection(int fd) {
  for (Position p = connections_.begin(); p != connections_.end(); ++p)
    if ((*p)->event.lowlevel_fd() == fd) return p;
  return connections_.end();
}

void TPKTTracer::CloseConnection(Position position) {
  if (position == current_) current_ = connections_.end();
  delete *position;
  connections_.erase(position);
}

void TPKTTracer::OnDataEvent(int fd, short events) {
  current_ = FindConnection(fd);
  if (current_ == connections_.end()) return;
  if (events & (POLLERR | POLLHUP)) {
    CloseConnection(current_);
    return;
  }
  while (current_ != connections_.end()) {
    Connection* c = *current_;
    const ssize_t n = ::recv(fd, c->buffer + c->received, c->needed - c->received, MSG_NOSIGNAL);
    if (n == 0) {
      CloseConnection(current_);
      break;
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) CloseConnection(current_);
      break;
    }
    c->received += static_cast<unsigned>(n);
    if (c->received < c->needed) break;
    if (c->state == 0) {
      if (receiver_) receiver_->OnTraceFrame(c->buffer, c->needed);
      if (current_ == connections_.end()) break;  // the receiver closed it
      c->state = 1;
      c->needed = Tpkt::header_size;
      c->received = 0;
      continue;
    }
    if (c->buffer[0] != Tpkt::version || c->buffer[1] != 0) {
      CloseConnection(current_);
      break;
    }
    const unsigned length = static_cast<unsigned>(c->buffer[2]) << 8 | c->buffer[3];
    if (length < Tpkt::header_size) {
      CloseConnection(current_);
      break;
    }
    const unsigned body = length - Tpkt::header_size;
    c->received = 0;
    if (body == 0) {
      c->needed = Tpkt::header_size;
      continue;
    }
    if (body > max_body) {
      CloseConnection(current_);
      break;
    }
    c->state = 0;
    c->needed = body;
  }
  current_ = connections_.end();
}

bool TPKTTracer::Send(const void* data, unsigned len) {
  if (len > Tpkt::max_body) return false;
  const unsigned total = len + Tpkt::header_size;
  unsigned char header[4] = {Tpkt::version, 0, static_cast<unsigned char>(total >> 8),
                             static_cast<unsigned char>(total & 0xFF)};
  iovec pieces[2] = {{header, sizeof header}, {const_cast<void*>(data), len}};
  msghdr message{};
  message.msg_iov = pieces;
  message.msg_iovlen = 2;
  auto send_to = [&](Position p) {
    const ssize_t n = ::sendmsg((*p)->event.lowlevel_fd(), &message, 0);
    if (n < 0 && errno == EINTR) return;
    if (n < 0 || static_cast<unsigned>(n) != total) CloseConnection(p);
  };
  if (current_ != connections_.end()) {
    send_to(current_);
    return true;
  }
  for (Position p = connections_.begin(); p != connections_.end();) {
    Position next = std::next(p);
    send_to(p);
    p = next;
  }
  return true;
}
