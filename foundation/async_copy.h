// Copying everything from one descriptor to another without blocking the
// loop: read only when the source is readable, write only when the
// destination is writable, and optionally wait at the end until the
// destination reports that it has drained (the flush events).
//
// The loop is asked for the source's events only while the buffer is empty
// and for the destination's only while it holds data; one readiness event may
// move many buffers (the steps run until a read or write would block).
//
// The end of a copy is reported once, through the bound handler, as the very
// last thing the copy does: the handler may delete the Copy (and with it
// itself), start a new copy or bind another handler. The handler can be
// called before Start, Stop, set_events or set_bufsize returns.
//
// Nothing is logged; every failure is the status `failed`.
// Loop thread only.
#ifndef FOUNDATION_ASYNC_COPY_H
#define FOUNDATION_ASYNC_COPY_H

#include <poll.h>

#include "foundation/event.h"
#include "foundation/fd.h"

namespace ASync {

class Copy {
 public:
  struct EventsParams {
    explicit EventsParams(int src = POLLIN, int dst = POLLOUT, int flush = POLLWRNORM)
        : src(src), dst(dst), flush(flush) {}
    int src;    // the source can be read
    int dst;    // the destination can be written
    int flush;  // the destination has drained; 0: no flush wait
  };

  struct Status {
    enum Type {
      idle = 0,      // never started
      running = 1,
      draining = 2,  // source closed, rest of the buffer being written
      flushing = 3,  // all written, waiting for the flush events
      failed = 4,
      done = 5,
      aborted = 6,   // events or buffer size changed during a copy
    };
    static const char* name(Type type);
  };

  class Handler {
   public:
    virtual ~Handler() {}
    virtual void Invoke(Status::Type status) = 0;
  };

  template <class T>
  class THandler : public Handler {
   public:
    typedef void (T::*Action)(Status::Type status);
    THandler(Action action, T* obj) : mAction(action), mObj(obj) {}
    void Invoke(Status::Type status) override {
      if (mAction) (mObj->*mAction)(status);
    }

   private:
    Action mAction;
    T* mObj;  // not owned
  };

  Copy();
  // Calls no handler; leaves the loop and closes every descriptor.
  ~Copy();
  Copy(const Copy&) = delete;
  Copy& operator=(const Copy&) = delete;

  // Takes ownership of h, deleting the handler bound before.
  void Bind(Handler* h);
  template <class T>
  void Bind(typename THandler<T>::Action action, T* obj) {
    Bind(new THandler<T>(action, obj));
  }
  void UnBind();

  // Stores the masks; an active copy ends with `aborted`.
  void set_events(const EventsParams& params);
  // A new buffer of n bytes (0: none, so the next Start takes 1024); an
  // active copy ends with `aborted`.
  void set_bufsize(unsigned int n);

  // Starts copying from duplicates of src and dst; the first read happens
  // here. Starting an active copy replaces it without calling the handler.
  void Start(Fd src, Fd dst);
  // While running: ends the copy from the source side as at end of data.
  void Stop();

  Status::Type status() const { return mStatus; }
  // Bytes written since Start.
  unsigned int written() const { return mWritten; }
  unsigned int bufsize() const { return mBufSize; }
  const Event& src_event() const { return mSrcEvent; }
  const Event& dst_event() const { return mDstEvent; }

 private:
  typedef bool (Copy::*Step)();

  bool NotReady() { return false; }
  bool SrcReady();
  bool DstReady();
  bool GoFlush();
  bool GoFlushDst();
  void GoWriting();
  void GoReading();
  void Progress();
  bool Active() const;
  void Complete(Status::Type status);
  void OnSrcEvent(int fd, short events);
  void OnDstEvent(int fd, short events);

  Fd mSrc;
  Fd mDst;
  EventsParams mEvents;
  unsigned int mBufSize;
  Step mStep;
  Handler* mHandler;
  Event mSrcEvent;
  Event mDstEvent;
  unsigned int mWritten;
  unsigned char* mPos;
  unsigned char* mEnd;
  Status::Type mStatus;
  unsigned char* mBuffer;
};

}  // namespace ASync

#endif  // FOUNDATION_ASYNC_COPY_H
