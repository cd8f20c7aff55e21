// The answers to the frames of one read leave together: while more of the
// read remains, the stream layer corks a TCP socket, and uncorks it at the
// start of the next pass of the loop, so that what other handlers send later
// in the same pass leaves with them. A read of one frame never corks; every
// answer is still its own complete frame, in order; a socket that refuses the
// cork is asked once.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/event.h"
#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"
#include "net/control_service.h"
#include "tests/support/bytes.h"

namespace {

using TestBytes::TpktFrame;

bool Corked(int fd) {
  int value = 0;
  socklen_t size = sizeof value;
  return ::getsockopt(fd, IPPROTO_TCP, TCP_CORK, &value, &size) == 0 && value != 0;
}

// A framed connection handed the server side of a socket the test made; the
// test keeps the other side (and a second look at the server side).
class Handed : public Control::Service {
 public:
  explicit Handed(int fd) : fd_(fd) {}
  void Start() { Handover(Fd(fd_), "test"); }

 protected:
  bool ImplActivate() override { return true; }
  void ImplDeactivate() override {}
  void ImplOnDisconnect() override {}

 private:
  int fd_;
};

// Answers every frame with "re:" and its body, noting whether the socket was
// corked right after the answer went.
class Answerer : public Control::Notify {
 public:
  Answerer(Control::Service& link, int watched) : link_(link), watched_(watched) {}
  void OnConnect() override {}
  void OnDisconnect() override {}
  void OnMessage(const char* data, int length) override {
    const std::string answer = "re:" + std::string(data, static_cast<std::size_t>(length));
    link_.Send(answer.data(), static_cast<int>(answer.size()));
    corked.push_back(Corked(watched_));
  }
  std::vector<bool> corked;

 private:
  Control::Service& link_;
  int watched_;
};

// A pipe whose read end the loop watches: Arm() makes it readable, and each
// readiness runs `on_readable` (which may take the byte, or leave it so the
// pipe stays readable).
class WatchedPipe {
 public:
  explicit WatchedPipe(std::function<void(WatchedPipe&)> on_readable)
      : on_readable_(std::move(on_readable)) {
    int ends[2];
    if (::pipe(ends) == 0) in_ = ends[0], out_ = ends[1];
    event_.Bind("WatchedPipe::OnEvent", &WatchedPipe::OnEvent, this);
    event_.Schedule(Fd(::dup(in_)), POLLIN);
  }
  ~WatchedPipe() {
    event_.Release();
    ::close(in_), ::close(out_);
  }
  void Arm() { (void)!::write(out_, "x", 1); }
  void Take() {
    char byte;
    (void)!::read(in_, &byte, 1);
  }
  void OnEvent(int, short revents) {
    if (revents & POLLIN) on_readable_(*this);
  }

 private:
  std::function<void(WatchedPipe&)> on_readable_;
  int in_ = -1, out_ = -1;
  Event event_;
};

class StreamCork : public ::testing::Test {
 protected:
  // A loopback TCP connection; the server side goes to a framed connection.
  void ConnectTcp() {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof sin;
    ASSERT_EQ(0, ::bind(listener, reinterpret_cast<sockaddr*>(&sin), sizeof sin));
    ASSERT_EQ(0, ::listen(listener, 1));
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&sin), &size);
    peer_ = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(0, ::connect(peer_, reinterpret_cast<sockaddr*>(&sin), sizeof sin));
    server_ = ::accept(listener, nullptr, nullptr);
    ::close(listener);
    const int on = 1;
    ::setsockopt(server_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    Start();
  }
  void ConnectUnix() {
    int ends[2];
    ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_STREAM, 0, ends));
    server_ = ends[0], peer_ = ends[1];
    Start();
  }
  void Start() {
    link_ = new Handed(::dup(server_));
    answerer_ = new Answerer(*link_, server_);
    link_->Bind(answerer_);
    link_->Start();
  }
  ~StreamCork() override {
    delete link_;
    delete answerer_;
    if (peer_ >= 0) ::close(peer_);
    if (server_ >= 0) ::close(server_);
  }

  // Sends `bytes` in one write, runs the loop until `answers` answers came
  // and returns the bytes that reached the peer by then.
  std::string Exchange(const std::string& bytes, std::size_t answers) {
    // The held answers leave in the pass after the read; that pass must not
    // move the virtual clock, or the time-out of a half frame would run out.
    WatchedPipe busy([](WatchedPipe&) {});
    busy.Arm();
    ::send(peer_, bytes.data(), bytes.size(), 0);
    std::string got;
    LoopTest::runUntil(
        [&] {
          return Received(got) && answerer_->corked.size() >= answers &&
                 got.size() >= answered_size(answers);
        },
        1000);
    return got;
  }
  // Appends what reached the peer so far; always true.
  bool Received(std::string& into) {
    char chunk[4096];
    ssize_t n;
    while ((n = ::recv(peer_, chunk, sizeof chunk, MSG_DONTWAIT)) > 0)
      into.append(chunk, static_cast<std::size_t>(n));
    return true;
  }
  std::size_t answered_size(std::size_t answers) const { return answers * (4 + 3 + 1); }

  VirtualClock clock;
  LoopTest::IdleDescriptor idle;
  int server_ = -1, peer_ = -1;
  Handed* link_ = nullptr;
  Answerer* answerer_ = nullptr;
};

TEST_F(StreamCork, AnswersOfOneReadLeaveTogetherAndAOneFrameReadNeverCorks) {
  ConnectTcp();
  struct Step {
    const char* what;
    std::string bytes;
    std::vector<bool> corked;  // after each answer of the read
    std::string answers;
  };
  const Step steps[] = {
      {"one frame", TpktFrame("a"), {false}, TpktFrame("re:a")},
      {"three frames", TpktFrame("b") + TpktFrame("c") + TpktFrame("d"), {true, true, true},
       TpktFrame("re:b") + TpktFrame("re:c") + TpktFrame("re:d")},
      // The half frame left over keeps the cork on to the end of the read.
      {"two frames and half of one", TpktFrame("e") + TpktFrame("f") + TpktFrame("g").substr(0, 3),
       {true, true}, TpktFrame("re:e") + TpktFrame("re:f")},
      {"the rest of it", TpktFrame("g").substr(3), {false}, TpktFrame("re:g")},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    answerer_->corked.clear();
    EXPECT_EQ(TestBytes::Hex(step.answers),
              TestBytes::Hex(Exchange(step.bytes, step.corked.size())));
    EXPECT_EQ(step.corked, answerer_->corked);
    EXPECT_FALSE(Corked(server_));  // released by the next pass
  }
  // Outside a read (a signal from a timer) nothing is held.
  ASSERT_TRUE(link_->Send("sig", 3));
  EXPECT_FALSE(Corked(server_));
}

// Another handler served after the read in the same pass (a line with a frame
// for the controller) sends a signal: it joins the held answers when the read
// corked, and goes at once when it did not.
TEST_F(StreamCork, ASignalSentLaterInThePassJoinsTheHeldAnswers) {
  ConnectTcp();
  std::vector<bool> corked;  // after each signal
  WatchedPipe line([&](WatchedPipe& self) {  // served after the connection in a pass
    self.Take();
    link_->Send("sig", 3);
    corked.push_back(Corked(server_));
  });
  line.Arm();
  std::string all = Exchange(TpktFrame("b") + TpktFrame("c"), 2);
  // The signal's frame, sent after both answers, arrives right behind them.
  LoopTest::runUntil([&] { return Received(all) && all.size() >= answered_size(2) + 7; }, 1000);
  EXPECT_EQ(TestBytes::Hex(TpktFrame("re:b") + TpktFrame("re:c") + TpktFrame("sig")), TestBytes::Hex(all));
  EXPECT_EQ(std::vector<bool>{true}, corked);
  EXPECT_FALSE(Corked(server_));

  corked.clear();
  line.Arm();
  Exchange(TpktFrame("d"), 1);
  LoopTest::runUntil([&] { return !corked.empty(); }, 1000);
  EXPECT_EQ(std::vector<bool>{false}, corked);
}

TEST_F(StreamCork, ASocketThatRefusesTheCorkStillGetsEveryAnswer) {
  ConnectUnix();
  const std::string three = TpktFrame("x") + TpktFrame("y") + TpktFrame("z");
  EXPECT_EQ(TestBytes::Hex(TpktFrame("re:x") + TpktFrame("re:y") + TpktFrame("re:z")),
            TestBytes::Hex(Exchange(three, 3)));
  EXPECT_EQ(TestBytes::Hex(TpktFrame("re:w")), TestBytes::Hex(Exchange(TpktFrame("w"), 1)));
}

}  // namespace
