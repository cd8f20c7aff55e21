// Readiness of descriptors, served by the event loop.
//
// EventHandler is what the loop (foundation/multiplexer.h) polls; Event is its
// implementation: it owns its descriptor (an Fd), the poll mask it wants and a
// bound callback, and is registered with the loop exactly while it holds a
// valid descriptor set through Schedule().
//
// Re-entry: a callback may Release(), Schedule(), Bind() or UnBind() its own
// event, and may destroy it; the loop has taken the event out of its active
// list before serving it. Bind() from inside the bound handler's own Invoke()
// deletes that handler at once: it must not touch itself afterwards.
//
// Everything here runs on the loop thread only.
#pragma once

#include <poll.h>

#include <string>

#include "foundation/dual_list.h"
#include "foundation/fd.h"
#include "foundation/measure.h"

class Multiplexer;

class EventHandler : public F_dual_list_item<EventHandler> {
 public:
  EventHandler() = default;
  // Does not detach: a derived class detaches itself before it goes.
  virtual ~EventHandler() = default;
  EventHandler(const EventHandler&) = delete;
  EventHandler& operator=(const EventHandler&) = delete;

  // Writes the descriptor and the wanted events into the loop's entry.
  virtual void shedule_event(pollfd& entry) = 0;
  // Serves the events poll returned (0 included: the callee tests them).
  virtual void svc_event(short revents) = 0;
  virtual std::string event_name() const { return "unknown"; }
  // Only named handlers are listed in the status dump.
  virtual bool is_named() const { return false; }

  // Registers with the global multiplexer unless already attached.
  void mux_attach();
  // Unregisters unless not attached.
  void mux_detach();
  // Calls svc_event(short) with the events the loop stored.
  void svc_event() { svc_event(revents_); }

  bool attached() const { return attached_; }
  short revents() const { return revents_; }

 private:
  friend class Multiplexer;
  bool attached_ = false;
  short revents_ = 0;
};

class Event : public EventHandler {
 public:
  class Handler {
   public:
    virtual ~Handler() = default;
    virtual void Invoke(int fd, short revents) = 0;
  };

  template <class T>
  class THandler : public Handler {
   public:
    using Action = void (T::*)(int fd, short revents);
    THandler(Action action, T* obj) : action_(action), obj_(obj) {}
    void Invoke(int fd, short revents) override {
      if (action_) (obj_->*action_)(fd, revents);
    }

   private:
    Action action_;
    T* obj_;  // not owned
  };

  Event() = default;
  // Deletes the handler, detaches, closes the descriptor.
  ~Event() override;

  // Detaches when a valid descriptor is held, takes `fd` (the event keeps
  // its own duplicate: the argument is a copy) and the mask, and attaches
  // when the new descriptor is valid. An invalid Fd takes the event out of
  // the loop.
  void Schedule(Fd fd, short events);
  // Detaches when a valid descriptor is held, then closes it. The handler
  // stays bound.
  void Release();
  // Deletes the bound handler and takes ownership of `h`.
  void Bind(Handler* h);
  // Names the event (by convention "Class::Member") and binds obj->*action.
  template <class T>
  void Bind(const std::string& name, typename THandler<T>::Action action, T* obj) {
    name_ = name;
    Bind(new THandler<T>(action, obj));
  }
  // Deletes the bound handler; an attached event stays polled.
  void UnBind();
  // Replaces the mask; the loop polls with it from the next pass.
  void SetEvents(int mask) { events_ = static_cast<short>(mask); }
  short events() const { return events_; }

  int lowlevel_fd() const { return fd_.lowlevel_fd(); }
  bool IsActive() const { return fd_.is_valid(); }
  const Measure& measure() const { return measure_; }
  // Serves whose events had a bit in common with the mask.
  unsigned int count() const { return count_; }
  bool bound() const { return handler_ != nullptr; }

  void shedule_event(pollfd& entry) override;
  // Counts when revents meets the mask, then calls the handler, if any,
  // whatever revents holds.
  void svc_event(short revents) override;
  using EventHandler::svc_event;
  std::string event_name() const override { return name_; }
  bool is_named() const override { return true; }

 private:
  Handler* handler_ = nullptr;
  Fd fd_;
  short events_ = 0;
  std::string name_ = "Unknown";
  unsigned int count_ = 0;
  Measure measure_;
};
