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

TEST_F(EventTest, ScheduleKeepsItsOwnDuplicateAttachesOnceAndReleaseCloses) {
  Pipe p;
  Owner o;
  int fd;
  {
    Event e;
    e.Release();  // never scheduled: nothing happens
    e.Bind("Owner::OnEvent", &Owner::OnEvent, &o);
    e.Schedule(p.read, POLLIN);
    e.Schedule(p.read, POLLIN);
    EXPECT_EQ(1u, multiplexer.handler_count());
    EXPECT_NE(p.read.lowlevel_fd(), e.lowlevel_fd());
    EXPECT_TRUE(::fcntl(e.lowlevel_fd(), F_GETFD) & FD_CLOEXEC);
    p.put();
    LoopTest::runOnce();
    EXPECT_EQ(std::vector<short>{POLLIN}, o.calls);
    EXPECT_EQ(e.lowlevel_fd(), o.lastFd);
    EXPECT_EQ(1u, e.count());
    fd = e.lowlevel_fd();
    e.Release();
    EXPECT_FALSE(isOpen(fd));
    EXPECT_EQ(0u, multiplexer.handler_count());
    EXPECT_TRUE(e.bound());  // the handler stays
    e.Schedule(p.read, POLLIN);
    fd = e.lowlevel_fd();
  }
  EXPECT_EQ(0u, multiplexer.handler_count());
  EXPECT_FALSE(isOpen(fd));
  Event empty;
  empty.Schedule(Fd(), POLLIN);
  EXPECT_FALSE(empty.IsActive());
}

// Counted only when the events meet the mask; when poll returned events,
// quiet entries are served with zero.
TEST_F(EventTest, CountOnlyWhenEventsMeetTheMaskAndQuietEntriesGetZero) {
  Owner o;
  Event e;
  e.Bind("Owner::OnEvent", &Owner::OnEvent, &o);
  e.SetEvents(POLLIN);
  e.svc_event(POLLOUT);
  EXPECT_EQ(0u, e.count());
  e.svc_event(POLLIN | POLLHUP);
  EXPECT_EQ(1u, e.count());
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
  int first = 0, second = 0;
};

TEST_F(EventTest, CallbackMayRebindAndRescheduleItsOwnEvent) {
  Pipe a, b;
  Event e;
  Rebinder r{&e, &b.read};
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
  e.Release();
}

}  // namespace
