// One outgoing TCP connection with a time-out, without blocking the loop.
//
// The end is reported once, through the bound handler, as the very last thing
// the connect does: the handler may delete the Connect, start a new one or
// bind another handler. On `connected` the handler receives the socket (its
// own duplicate); the Connect itself keeps no descriptor afterwards. The
// handler can be called before Start or Stop returns.
//
// Nothing is logged; every failure is the status `failed`.
// Loop thread only.
#ifndef FOUNDATION_ASYNC_CONNECT_H
#define FOUNDATION_ASYNC_CONNECT_H

#include <string>

#include "foundation/event.h"
#include "foundation/fd.h"
#include "foundation/timer.h"

namespace ASync {

class Connect {
 public:
  struct Status {
    enum Type {
      idle = 0,
      connecting = 1,
      failed = 2,  // refused, unreachable, bad address, socket error or time-out
      connected = 3,
      stopped = 4,
    };
    static const char* name(Type type);
  };

  class Handler {
   public:
    virtual ~Handler() {}
    // socket: the connected socket, or an empty Fd for every other status.
    virtual void Invoke(Status::Type status, Fd socket) = 0;
  };

  template <class T>
  class THandler : public Handler {
   public:
    typedef void (T::*Action)(Status::Type status, Fd socket);
    THandler(Action action, T* obj) : mAction(action), mObj(obj) {}
    void Invoke(Status::Type status, Fd socket) override {
      if (mAction) (mObj->*mAction)(status, socket);
    }

   private:
    Action mAction;
    T* mObj;  // not owned
  };

  Connect();
  // Calls no handler.
  ~Connect();
  Connect(const Connect&) = delete;
  Connect& operator=(const Connect&) = delete;

  void Bind(Handler* h);
  template <class T>
  void Bind(typename THandler<T>::Action action, T* obj) {
    Bind(new THandler<T>(action, obj));
  }
  void UnBind();

  // Connects to "a.b.c.d:port" (no name resolution) within timeout ms. An
  // address that does not parse ends with `failed` at once.
  void Start(const std::string& address, unsigned int timeout);
  // Ends a connect in progress with `stopped`.
  void Stop();

  Status::Type status() const { return mStatus; }
  bool holds_socket() const { return mSocket.is_valid() || mEvent.IsActive(); }
  bool timer_running() const { return mTimer.is_running(); }

 private:
  void OnSocketEvent(int fd, short events);
  void OnTimeOut(Timer*);
  void Complete(Status::Type status);

  Status::Type mStatus;
  Fd mSocket;
  Event mEvent;
  Handler* mHandler;
  Timer mTimer;
};

}  // namespace ASync

#endif  // FOUNDATION_ASYNC_CONNECT_H
