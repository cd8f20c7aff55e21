// Deferred calls: callbacks the event loop runs on every pass while active,
// twice per pass: once right after the due timers fired and once right before
// poll().
//
// A call that stays active polls a condition on every pass; a call that its
// own callback deactivates defers work to a safe point outside the current
// callback. Rules the users rely on:
//  - a call deactivated during an execution (by itself or by an earlier call)
//    does not run again in that execution;
//  - a call activated during an execution first runs in the next one;
//  - several active calls run in the order of their addresses, not of their
//    activation;
//  - destroying an active call unregisters it first.
//
// Loop thread only; signal handlers set flags that an always-active call reads.
#pragma once

class DpcHandler {
 public:
  virtual void Invoke() = 0;
  virtual ~DpcHandler() = default;
};

class DpcHandler1 : public DpcHandler {
 public:
  explicit DpcHandler1(void (*function)()) : function_(function) {}
  void Invoke() override {
    if (function_) function_();
  }

 private:
  void (*function_)();
};

template <class T>
class TDpcHandler : public DpcHandler {
 public:
  using Action = void (T::*)();
  using Target = T;
  TDpcHandler(T* obj, Action action) : obj_(obj), action_(action) {}
  void Invoke() override {
    if (action_) (obj_->*action_)();
  }

 private:
  T* obj_;  // not owned
  Action action_;
};

class Dpc {
 public:
  Dpc() = default;
  // Deactivates, then deletes the handler.
  ~Dpc();
  Dpc(const Dpc&) = delete;
  Dpc& operator=(const Dpc&) = delete;

  // Deletes the bound handler and takes ownership of `h`. The state (active
  // or not) does not change; the next run uses the new handler.
  void Bind(DpcHandler* h);
  void Bind(void (*function)()) { Bind(new DpcHandler1(function)); }
  // T comes from the member function, so a base class's member can be bound
  // with a pointer to a derived object.
  template <class T>
  void Bind(typename TDpcHandler<T>::Target* obj, void (T::*action)()) {
    Bind(new TDpcHandler<T>(obj, action));
  }

  // Registers with the global multiplexer; a second activation changes nothing.
  void Activate();
  // Unregisters (also from an execution in progress); no effect when inactive.
  void Deactivate();
  bool IsActive() const { return active_; }
  // Calls the bound handler, if any. The loop calls it.
  void Invoke() {
    if (handler_) handler_->Invoke();
  }

 private:
  DpcHandler* handler_ = nullptr;  // owned
  bool active_ = false;
};
