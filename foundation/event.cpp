#include "foundation/event.h"

#include "foundation/multiplexer.h"

void EventHandler::mux_attach() {
  if (attached_) return;
  multiplexer.attach(this);
  attached_ = true;
}

void EventHandler::mux_detach() {
  if (!attached_) return;
  multiplexer.detach(this);
  attached_ = false;
}

Event::~Event() {
  delete handler_;
  handler_ = nullptr;
  if (fd_.is_valid()) mux_detach();
}

void Event::Schedule(Fd fd, short events) {
  if (fd_.is_valid()) mux_detach();
  fd_ = fd;
  events_ = events;
  if (fd_.is_valid()) mux_attach();
}

void Event::Release() {
  if (!fd_.is_valid()) return;  // nothing held: leave errno alone too
  mux_detach();
  fd_.close();
}

void Event::Bind(Handler* h) {
  delete handler_;
  handler_ = h;
}

void Event::UnBind() {
  delete handler_;
  handler_ = nullptr;
}

void Event::shedule_event(pollfd& entry) {
  entry.fd = fd_.lowlevel_fd();
  entry.events = events_;
}

void Event::svc_event(short revents) {
  if (revents & events_) ++count_;
  if (handler_) handler_->Invoke(fd_.lowlevel_fd(), revents);
}
