// Frame rate of an HDLC controller channel fed through the simulated board's
// line side, against a bare relay of the same frames between two socketpairs.
//
// The channel path is the server's: a frame written on trunk timeslot 37's
// line is relayed by the board model into the controller channel switched
// there, and the channel reads it in the event loop (one frame per readiness
// event) and hands it to its client. The reference writes into one
// socketpair, relays each frame into a second one and reads it there, in one
// poll() loop. Both run on this thread, the writer keeping the line full.
//
// Usage: bench_hdlc [--frames N] [--size BYTES]
// Prints one JSON object: frames per second of both and their ratio.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "board/board.h"
#include "board/sim/mcc.h"
#include "foundation/event.h"
#include "foundation/multiplexer.h"
#include "hardware/hdlc.h"

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void NonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

// Writes frames until the socket is full or all are sent.
void Fill(int fd, const std::vector<char>& frame, long& sent, long total) {
  while (sent < total && send(fd, frame.data(), frame.size(), MSG_DONTWAIT) > 0) ++sent;
}

double Bare(long total, const std::vector<char>& frame) {
  int a[2], b[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET, 0, a) != 0 || socketpair(AF_UNIX, SOCK_SEQPACKET, 0, b) != 0) return 0;
  for (int fd : {a[0], a[1], b[0], b[1]}) NonBlocking(fd);
  std::vector<char> buffer(65536);
  long sent = 0, received = 0;
  double start = Now();
  while (received < total) {
    Fill(a[0], frame, sent, total);
    struct pollfd p[2] = {{a[1], POLLIN, 0}, {b[1], POLLIN, 0}};
    poll(p, 2, 1000);
    // The relay: one socketpair to the other, as long as both allow.
    ssize_t n;
    while ((n = recv(a[1], buffer.data(), buffer.size(), MSG_DONTWAIT)) > 0)
      if (send(b[0], buffer.data(), static_cast<size_t>(n), MSG_DONTWAIT) != n) break;  // dropped: none here
    while (recv(b[1], buffer.data(), buffer.size(), MSG_DONTWAIT) > 0) ++received;
  }
  double seconds = Now() - start;
  for (int fd : {a[0], a[1], b[0], b[1]}) close(fd);
  return total / seconds;
}

struct Counter : HDLC::Notify {
  void on_hdlc_receive(Packet&) override { ++received; }
  void on_hdlc_error(Cause::Type) override { failed = true; }
  void on_hdlc_ready() override {}
  long received = 0;
  bool failed = false;
};

// The board's own descriptor in the loop, as the server serves it.
class BoardPump {
 public:
  BoardPump() {
    event_.Bind("BoardPump::OnEvent", &BoardPump::OnEvent, this);
    event_.Schedule(Fd(dup(Board::serviceDescriptor())), POLLIN);
  }

 private:
  void OnEvent(int, short) { Board::service(); }
  Event event_;
};

double Channel(long total, const std::vector<char>& frame, std::string& error) {
  int line = BoardSim::mcc().attachLine(37);
  NonBlocking(line);
  BoardPump pump;
  Counter counter;
  HDLC channel;
  channel.params({1, 5, 37, -1, HDLC::kModeStandard});
  channel.bind(&counter);
  if (!channel.activate()) {
    error = "channel activation failed";
    return 0;
  }
  long sent = 0;
  double start = Now();
  while (counter.received < total && !counter.failed) {
    Fill(line, frame, sent, total);
    multiplexer.run_once();
  }
  double seconds = Now() - start;
  channel.deactivate();
  close(line);
  if (counter.failed) error = "read error on the channel";
  return total / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  long frames = 200000, size = 64;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--frames") frames = std::strtol(argv[i + 1], nullptr, 10);
    else if (a == "--size") size = std::strtol(argv[i + 1], nullptr, 10);
  }
  if (frames <= 0 || size <= 0 || size > 4096) {
    std::fprintf(stderr, "usage: bench_hdlc [--frames N] [--size BYTES]\n");
    return 2;
  }
  std::vector<char> frame(static_cast<size_t>(size), '\x7e');
  std::string error;
  // The cross-connect logs its set-up on the log stream: not part of the result.
  std::clog.rdbuf(nullptr);
  double hdlc = Channel(frames, frame, error);
  double bare = Bare(frames, frame);
  if (!error.empty()) {
    std::printf("{\"label\":\"hdlc\",\"error\":\"%s\"}\n", error.c_str());
    return 1;
  }
  std::printf("{\"label\":\"hdlc\",\"frames\":%ld,\"size\":%ld,\"frames_per_s\":%.0f,\"bare_frames_per_s\":%.0f,"
              "\"ratio\":%.3f}\n",
              frames, size, hdlc, bare, bare > 0 ? hdlc / bare : 0.0);
  return 0;
}
