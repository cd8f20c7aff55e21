// Descriptor events on real pipes, served through single loop passes.
#include "foundation/event.h"

#include <fcntl.h>

#include <vector>

#include "foundation/multiplexer.h"
#include "tests/foundation/loop_fixture.h"

namespace {

using EventTest = FoundationTest::LoopFixture;
using FoundationTest::Pipe;

struct Owner {
  void OnEvent(int fd, short revents) {
    calls.push_back(revents);
    lastFd = fd;
  }
  std::vector<short> calls;
  int lastFd = -2;
};

bool isOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

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
  EXPECT_NE(p.read.lowlevel_fd(), e.lowlevel_fd());
  EXPECT_TRUE(::fcntl(e.lowlevel_fd(), F_GETFD) & FD_CLOEXEC);

  p.put();
  LoopTest::runOnce();
  EXPECT_EQ(std::vector<short>{POLLIN}, o.calls);
  EXPECT_EQ(e.lowlevel_fd(), o.lastFd);
  EXPECT_EQ(1u, e.count());

  e.Schedule(Fd(), POLLIN);
  EXPECT_FALSE(e.IsActive());
  EXPECT_EQ(0u, multiplexer.handler_count());
}

TEST_F(EventTest, ReleaseAndDestructionDetachAndClose) {
  Pipe p;
  Owner o;
  int fd;
  {
    Event e;
    testing::internal::CaptureStderr();
    e.Release();  // never scheduled: nothing happens
    e.Bind("Owner::OnEvent", &Owner::OnEvent, &o);
    e.Schedule(p.read, POLLIN);
    fd = e.lowlevel_fd();
    e.Release();
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    EXPECT_FALSE(isOpen(fd));
    EXPECT_EQ(0u, multiplexer.handler_count());
    EXPECT_TRUE(e.bound());  // the handler stays
    e.Schedule(p.read, POLLIN);
    fd = e.lowlevel_fd();
  }
  EXPECT_EQ(0u, multiplexer.handler_count());
  EXPECT_FALSE(isOpen(fd));
}

TEST_F(EventTest, CountOnlyWhenEventsMeetTheMask) {
  Owner o;
  Event e;
  e.Bind("Owner::OnEvent", &Owner::OnEvent, &o);
  e.SetEvents(POLLIN);
  e.svc_event(POLLOUT);
  EXPECT_EQ(0u, e.count());
  EXPECT_EQ(std::vector<short>{POLLOUT}, o.calls);
  e.svc_event(POLLIN | POLLHUP);
  EXPECT_EQ(1u, e.count());
  // An unbound event is polled and counts too.
  Pipe p;
  Event unbound;
  unbound.Schedule(p.read, POLLIN);
  p.put();
  LoopTest::runOnce();
  EXPECT_EQ(1u, unbound.count());
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
  EXPECT_EQ(std::vector<short>{0}, oq.calls);
  EXPECT_EQ(0u, eq.count());
  EXPECT_EQ(std::vector<short>{POLLIN}, ob.calls);
}

// Rebinding from inside the bound handler deletes that handler at once; a
// callback may also release and reschedule its own event.
struct Rebinder {
  void OnFirst(int fd, short) {
    char c;
    EXPECT_EQ(1, ::read(fd, &c, 1));
    ++first;
    event->Bind("Rebinder::OnSecond", &Rebinder::OnSecond, this);
    event->Release();
    event->Schedule(*next, POLLIN);
  }
  void OnSecond(int, short) { ++second; }
  Event* event = nullptr;
  Fd* next = nullptr;
  int first = 0;
  int second = 0;
};

TEST_F(EventTest, CallbackMayRebindAndRescheduleItsOwnEvent) {
  Pipe a, b;
  Event e;
  Rebinder r;
  r.event = &e;
  r.next = &b.read;
  e.Bind("Rebinder::OnFirst", &Rebinder::OnFirst, &r);
  e.Schedule(a.read, POLLIN);
  a.put();
  b.put();
  LoopTest::runOnce();
  EXPECT_EQ(1, r.first);
  EXPECT_EQ(1u, multiplexer.handler_count());
  LoopTest::runOnce();
  EXPECT_EQ(1, r.second);
  EXPECT_EQ("Rebinder::OnSecond", e.event_name());
  e.UnBind();
  EXPECT_FALSE(e.bound());
  e.Release();
}

}  // namespace
