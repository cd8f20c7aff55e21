// Notification of child-process exits through the event loop.
//
// A slot keeps one ChildWait per child it starts: it binds the record to one
// of its member functions, starts the child and calls Attach(pid) before
// control returns to the loop. When the child ends, the SIGCHLD handler reaps
// it (waitpid with WNOHANG) and writes an 8-byte record {pid, status} (host
// byte order) into a local datagram socket pair; the loop then reads the
// records and calls each matching ChildWait's handler with the waitpid status.
// Callbacks therefore never run in signal context.
//
// The record is unlinked before its callback runs, so the callback may destroy
// the ChildWait (and its owner), bind it again or attach it to a new child.
//
// The one ChildWaitService is created by the nifty counter below (every
// translation unit that includes this header holds a ChildWait::Init) and
// stays inactive until ChildWait::Activate() — start-up calls it once.
// Note that the handler reaps every child of the process, also those started
// by other means; their records are only logged.
//
// Loop thread only, except the SIGCHLD handler, which touches no list.
#ifndef FOUNDATION_CHILD_WAIT_H
#define FOUNDATION_CHILD_WAIT_H

#include <signal.h>

#include <cstddef>
#include <new>

#include "foundation/dual_list.h"
#include "foundation/event.h"
#include "foundation/fd.h"

class ChildWait : public F_dual_list_item<ChildWait> {
 public:
  class Handler {
   public:
    virtual ~Handler() {}
    // status: the word waitpid() returned.
    virtual void Invoke(ChildWait& wait, int status) = 0;
    // Handlers live in their record's storage: nothing to free.
    static void operator delete(void*) {}
  };

  class DummyHandler : public Handler {
   public:
    void Invoke(ChildWait&, int) override {}
  };

  template <class T>
  class THandler1 : public Handler {
   public:
    typedef void (T::*Action)(int status);
    THandler1(T* target, Action action) : mTarget(target), mAction(action) {}
    void Invoke(ChildWait&, int status) override { (mTarget->*mAction)(status); }

   private:
    T* mTarget;
    Action mAction;
  };

  // The nifty counter that creates the service before any user needs it.
  class Init {
   public:
    Init();
    ~Init();
  };

  static const std::size_t kHandlerStorage = 64;

  ChildWait();
  // Destroys the handler, then Detach().
  ~ChildWait();
  ChildWait(const ChildWait&) = delete;
  ChildWait& operator=(const ChildWait&) = delete;

  // Replaces the handler with obj->*action; never allocates. May be called
  // from inside the handler's own callback only after it is done with itself
  // (the old handler is destroyed at once).
  template <class T>
  void Bind(T* obj, void (T::*action)(int status)) {
    static_assert(sizeof(THandler1<T>) <= kHandlerStorage, "handler storage too small");
    mHandler->~Handler();
    mHandler = new (mStorage) THandler1<T>(obj, action);
  }

  // Watches pid; a record already attached is moved to the end of the list
  // with the new pid.
  void Attach(int pid);
  // Stops watching; nothing happens when not attached.
  void Detach();

  int pid() const { return mPid; }
  Handler& handler() { return *mHandler; }

  static void Initialize();
  static void Cleanup();
  // Starts supervision (socket pair, loop event, SIGCHLD handler) when the
  // service exists.
  static void Activate();

  static int UsageCounter;

 private:
  int mPid;
  alignas(std::max_align_t) unsigned char mStorage[kHandlerStorage];
  Handler* mHandler;
};

class ChildWaitService : public Event {
 public:
  ChildWaitService();
  // Leaves the loop, closes both ends.
  ~ChildWaitService() override;

  // Creates the socket pair ("ChildWaitService: initialize fails" on
  // std::cerr when it cannot), schedules the read end on the loop and
  // installs the SIGCHLD handler (SA_RESTART).
  void Activate();

  // Reads every waiting record: each is logged on std::clog and handed to
  // the first attached ChildWait of its pid, which is unlinked first.
  // Without POLLIN in revents it reads nothing.
  void OnChildEvent(int fd, short revents);

  void Attach(ChildWait* w);
  void Detach(ChildWait* w);
  bool IsAttached(const ChildWait* w) const;
  unsigned int attached_count() const { return mWaits.count(); }
  int write_fd() const { return mWrite.lowlevel_fd(); }

  static void SigChldHandlerWrapper(int, siginfo_t*, void*);
  // Signal context: reaps every ended child and writes one record each.
  void SigChldHandler();

  static ChildWaitService* childWaitService;

 private:
  Fd mWrite;
  F_dual_list<ChildWait> mWaits;
};

namespace {
ChildWait::Init childWaitInit;
}  // namespace

#endif  // FOUNDATION_CHILD_WAIT_H
