#include "foundation/async_copy.h"

#include <unistd.h>

#include <cerrno>

namespace ASync {

namespace {

const unsigned int kDefaultBufSize = 1024;
const short kTrouble = POLLERR | POLLHUP | POLLNVAL;

}  // namespace

const char* Copy::Status::name(Type type) {
  switch (type) {
    case idle: return "idle";
    case running: return "running";
    case draining: return "draining";
    case flushing: return "flushing";
    case failed: return "failed";
    case done: return "done";
    case aborted: return "aborted";
  }
  return "unknown";
}

Copy::Copy()
    : mBufSize(0),
      mStep(&Copy::NotReady),
      mHandler(nullptr),
      mWritten(0),
      mPos(nullptr),
      mEnd(nullptr),
      mStatus(Status::idle),
      mBuffer(nullptr) {}

Copy::~Copy() {
  delete[] mBuffer;
  delete mHandler;
}

void Copy::Bind(Handler* h) {
  delete mHandler;
  mHandler = h;
}

void Copy::UnBind() {
  delete mHandler;
  mHandler = nullptr;
}

bool Copy::Active() const {
  return mStatus == Status::running || mStatus == Status::draining || mStatus == Status::flushing;
}

void Copy::set_events(const EventsParams& params) {
  mEvents = params;
  if (Active()) Complete(Status::aborted);
}

void Copy::set_bufsize(unsigned int n) {
  delete[] mBuffer;
  mBuffer = n ? new unsigned char[n] : nullptr;
  mBufSize = n;
  if (Active()) Complete(Status::aborted);
}

void Copy::Start(Fd src, Fd dst) {
  mStatus = Status::running;
  mSrc = src;
  mDst = dst;
  mSrcEvent.Release();
  mDstEvent.Release();
  mSrcEvent.Bind("Copy::OnSrcEvent", &Copy::OnSrcEvent, this);
  mDstEvent.Bind("Copy::OnDstEvent", &Copy::OnDstEvent, this);
  if (!mBuffer) {
    mBufSize = kDefaultBufSize;
    mBuffer = new unsigned char[mBufSize];
  }
  mSrcEvent.Schedule(mSrc, 0);
  mDstEvent.Schedule(mDst, 0);
  mWritten = 0;
  mStep = &Copy::SrcReady;
  Progress();
}

void Copy::Stop() {
  if (mStatus == Status::running) GoFlush();
}

// Every step that ends the copy returns false, and nothing after the step
// touches the object: the handler may have deleted it.
void Copy::Progress() {
  while ((this->*mStep)()) {
  }
}

void Copy::GoWriting() {
  mSrcEvent.SetEvents(0);
  mDstEvent.SetEvents(mEvents.dst);
  mStep = &Copy::DstReady;
}

void Copy::GoReading() {
  mSrcEvent.SetEvents(mEvents.src);
  mDstEvent.SetEvents(0);
  mStep = &Copy::SrcReady;
}

bool Copy::SrcReady() {
  errno = 0;
  const ssize_t n = ::read(mSrc.lowlevel_fd(), mBuffer, mBufSize);
  if (n > 0) {
    mPos = mBuffer;
    mEnd = mBuffer + n;
    GoWriting();
    return true;
  }
  if (n == 0) return GoFlush();
  if (errno == EAGAIN || errno == EWOULDBLOCK) {
    mSrcEvent.SetEvents(mEvents.src);
    mDstEvent.SetEvents(0);
    return false;
  }
  // An error after some data ends the copy like the end of the data.
  if (mWritten > 0) return GoFlush();
  Complete(Status::failed);
  return false;
}

bool Copy::DstReady() {
  const ssize_t n = ::write(mDst.lowlevel_fd(), mPos, mEnd - mPos);
  if (n > 0) {
    mWritten += static_cast<unsigned int>(n);
    mPos += n;
    if (mPos < mEnd) return true;
    if (mStatus == Status::draining) return GoFlushDst();
    GoReading();
    return true;
  }
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
    mSrcEvent.SetEvents(0);
    mDstEvent.SetEvents(mEvents.dst);
    return false;
  }
  Complete(Status::failed);
  return false;
}

bool Copy::GoFlush() {
  mSrcEvent.Release();
  mSrc.close();
  if (mStep == &Copy::DstReady) {
    mStatus = Status::draining;
    return true;
  }
  return GoFlushDst();
}

bool Copy::GoFlushDst() {
  if (mEvents.flush != 0) {
    mDstEvent.SetEvents(mEvents.flush);
    mStep = &Copy::NotReady;
    mStatus = Status::flushing;
    return true;
  }
  Complete(Status::done);
  return false;
}

void Copy::OnSrcEvent(int, short events) {
  if (events & mEvents.src) {
    Progress();
  } else if (events & kTrouble) {
    // Hang-up or error: the read below reports the end of data or the error.
    mSrcEvent.Release();
    Progress();
  }
}

void Copy::OnDstEvent(int, short events) {
  if (events & kTrouble) {
    Complete(Status::failed);
    return;
  }
  if (mStatus == Status::running || mStatus == Status::draining) {
    if (events & mEvents.dst) Progress();
  } else if (mStatus == Status::flushing) {
    if (events & mEvents.flush) Complete(Status::done);
  }
}

void Copy::Complete(Status::Type status) {
  if (!Active()) return;
  mSrcEvent.UnBind();
  mDstEvent.UnBind();
  mStatus = status;
  mSrcEvent.Release();
  mDstEvent.Release();
  mSrc.close();
  mDst.close();
  mStep = &Copy::NotReady;
  if (mHandler) mHandler->Invoke(status);
}

}  // namespace ASync
