// Descriptor events on real pipes, served through single loop passes.
#include "foundation/event.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/multiplexer.h"
#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"

namespace {

struct LoopMustBeClean {
  ~LoopMustBeClean() { EXPECT_EQ("", LoopTest::leftovers()); }
};

struct Pipe {
  Pipe() {
    int fds[2];
    EXPECT_EQ(0, ::pipe(fds));
    read = Fd(fds[0]);
    write = Fd(fds[1]);
  }
  void put() { EXPECT_EQ(1, ::write(write.lowlevel_fd(), "x", 1)); }
  Fd read;
  Fd write;
};

struct Owner {
  void OnEvent(int fd, short revents) {
    calls.push_back(revents);
    lastFd = fd;
  }
  std::vector<short> calls;
  int lastFd = -2;
};

class EventTest : public ::testing::Test {
 protected:
  EventTest() { clock_.setRealWaitLimit(0); }
  LoopMustBeClean check_;
  VirtualClock clock_;
};

TEST_F(EventTest, NamesAndDefaults) {
  Event e;
  EXPECT_EQ("Unknown", e.event_name());
  EXPECT_TRUE(e.is_named());
  EXPECT_FALSE(e.IsActive());
  EXPECT_EQ(-1, e.lowlevel_fd());
  struct Bare : EventHandler {
    void shedule_event(pollfd&) override {}
    void svc_event(short) override {}
  } bare;
  EXPECT_EQ("unknown", bare.event_name());
  EXPECT_FALSE(bare.is_named());
  Owner o;
  e.Bind("Owner::OnEvent", &Owner::OnEvent, &o);
  EXPECT_EQ("Owner::OnEvent", e.event_name());
}

TEST_F(EventTest, ScheduleKeepsItsOwnDuplicateAndAttachesOnce) {
  Pipe p;
  Owner o;
  Event e;
  e.Bind("Owner::OnEvent", &Owner::OnEvent, &o);
  testing::internal::CaptureStderr();
  e.Schedule(p.read, POLLIN);
  e.Schedule(p.read, POLLIN);
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
  EXPECT_EQ(1u, multiplexer.handler_count());
  EXPECT_TRUE(e.IsActive());
  EXPECT_NE(p.read.lowlevel_fd(), e.lowlevel_fd());
  EXPECT_TRUE(::fcntl(e.lowlevel_fd(), F_GETFD) & FD_CLOEXEC);

  p.put();
  LoopTest::runOnce();
  ASSERT_EQ(1u, o.calls.size());
  EXPECT_EQ(POLLIN, o.calls[0]);
  EXPECT_EQ(e.lowlevel_fd(), o.lastFd);
  EXPECT_EQ(1u, e.count());

  e.Schedule(Fd(), POLLIN);
  EXPECT_FALSE(e.IsActive());
  EXPECT_EQ(0u, multiplexer.handler_count());
}

TEST_F(EventTest, ReleaseDetachesAndClosesButKeepsTheHandler) {
  Pipe p;
  Owner o;
  Event e;
  testing::internal::CaptureStderr();
  e.Release();  // never scheduled: nothing happens
  e.Bind("Owner::OnEvent", &Owner::OnEvent, &o);
  e.Schedule(p.read, POLLIN);
  int fd = e.lowlevel_fd();
  e.Release();
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
  EXPECT_FALSE(e.IsActive());
  EXPECT_EQ(-1, ::fcntl(fd, F_GETFD));
  EXPECT_EQ(0u, multiplexer.handler_count());
  EXPECT_TRUE(e.bound());
}

TEST_F(EventTest, DestructionDetachesAndCloses) {
  Pipe p;
  int fd;
  {
    Event e;
    e.Schedule(p.read, POLLIN);
    fd = e.lowlevel_fd();
    EXPECT_EQ(1u, multiplexer.handler_count());
  }
  EXPECT_EQ(0u, multiplexer.handler_count());
  EXPECT_EQ(-1, ::fcntl(fd, F_GETFD));
}

TEST_F(EventTest, CountOnlyWhenEventsMeetTheMask) {
  Owner o;
  Event e;
  e.Bind("Owner::OnEvent", &Owner::OnEvent, &o);
  e.SetEvents(POLLIN);
  e.svc_event(POLLOUT);
  EXPECT_EQ(0u, e.count());
  ASSERT_EQ(1u, o.calls.size());
  EXPECT_EQ(POLLOUT, o.calls[0]);
  e.svc_event(POLLIN | POLLHUP);
  EXPECT_EQ(1u, e.count());
}

TEST_F(EventTest, QuietEntriesAreServedWithZeroWhenPollReturnedEvents) {
  Pipe busy, quiet;
  Owner ob, oq;
  Event eb, eq;
  eq.Bind("Quiet::OnEvent", &Owner::OnEvent, &oq);
  eb.Bind("Busy::OnEvent", &Owner::OnEvent, &ob);
  eq.Schedule(quiet.read, POLLIN);
  eb.Schedule(busy.read, POLLIN);
  busy.put();
  LoopTest::runOnce();
  ASSERT_EQ(1u, oq.calls.size());
  EXPECT_EQ(0, oq.calls[0]);
  EXPECT_EQ(0u, eq.count());
  ASSERT_EQ(1u, ob.calls.size());
  EXPECT_EQ(POLLIN, ob.calls[0]);
}

TEST_F(EventTest, UnboundEventIsPolledAndCounts) {
  Pipe p;
  Event e;
  e.Schedule(p.read, POLLIN);
  p.put();
  LoopTest::runOnce();
  EXPECT_EQ(1u, e.count());
}

TEST_F(EventTest, SetEventsTakesEffectFromTheNextPass) {
  Pipe p;
  Owner o;
  Event e;
  e.Bind("Owner::OnEvent", &Owner::OnEvent, &o);
  e.Schedule(p.write, 0);
  LoopTest::IdleDescriptor idle;
  LoopTest::runOnce();
  EXPECT_TRUE(o.calls.empty());
  e.SetEvents(POLLOUT);
  LoopTest::runOnce();
  ASSERT_EQ(1u, o.calls.size());
  EXPECT_EQ(POLLOUT, o.calls[0]);
}

// Rebinding from inside the bound handler deletes that handler at once.
struct Rebinder {
  void OnFirst(int, short) {
    ++first;
    event->Bind("Rebinder::OnSecond", &Rebinder::OnSecond, this);
  }
  void OnSecond(int, short) { ++second; }
  Event* event = nullptr;
  int first = 0;
  int second = 0;
};

TEST_F(EventTest, BindFromInsideTheHandler) {
  Pipe p;
  Event e;
  Rebinder r;
  r.event = &e;
  e.Bind("Rebinder::OnFirst", &Rebinder::OnFirst, &r);
  e.Schedule(p.read, POLLIN);
  p.put();
  LoopTest::runOnce();
  LoopTest::runOnce();
  EXPECT_EQ(1, r.first);
  EXPECT_EQ(1, r.second);
  EXPECT_EQ("Rebinder::OnSecond", e.event_name());
  e.UnBind();
  EXPECT_FALSE(e.bound());
}

// A callback that releases and reschedules its own event.
struct Reschedule {
  void OnEvent(int fd, short) {
    char c;
    EXPECT_EQ(1, ::read(fd, &c, 1));
    ++calls;
    event->Release();
    event->Schedule(*next, POLLIN);
  }
  Event* event = nullptr;
  Fd* next = nullptr;
  int calls = 0;
};

TEST_F(EventTest, CallbackMayRescheduleItsOwnEvent) {
  Pipe a, b;
  Event e;
  Reschedule r;
  r.event = &e;
  r.next = &b.read;
  e.Bind("Reschedule::OnEvent", &Reschedule::OnEvent, &r);
  e.Schedule(a.read, POLLIN);
  a.put();
  b.put();
  LoopTest::runOnce();
  EXPECT_EQ(1, r.calls);
  EXPECT_EQ(1u, multiplexer.handler_count());
  LoopTest::runOnce();
  EXPECT_EQ(2, r.calls);
  e.Release();
}

}  // namespace
