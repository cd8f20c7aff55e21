// Signalling links through the running server on the simulated board,
// against a bare relay of the same frames.
//
// ISDN (--kind isdn): an ISDN slot, user side of a primary-rate D channel, on
// E1 trunk 1 timeslot 16; on that timeslot's line side a second LAPD of our
// own, network side, is the far end. SS7 (--kind ss7): a PSTN SS7 slot on
// every timeslot 1..31 of the four E1 trunks (124 links), each with one of our
// own MTP2 links as its far end; both ends align in emergency (0.5 s proving).
//
// The controller echoes each userData signal as a userData command to the
// same slot, so a frame goes line -> server -> controller -> server -> line.
// Latency: one frame at a time on link 0, from the far end handing it to its
// engine to the echo leaving the engine; p50 and p99 after a warm-up. Rate:
// --depth frames outstanding on every link, echoes per second (each one is a
// frame each way), with the server's CPU time over the same wall time. In the
// rate phase each echo releases its link's next frame at once, inside the far
// end's engine, so that the far end's acknowledgement of the echo rides on
// that frame, as a peer with data waiting sends it, rather than in an RR of
// its own.
//
// With --no-cross-connect the server runs on a board without "/dev/hal", so
// the cross-connect's refresh pass is idle, and each far end takes the
// controller channel of its link itself ("line tap" on the board's control
// socket, for the channel that "line channels" lists for the link): its
// frames reach the server's channel as a driver's would, one per read, and
// the board's relay is out of the path, as the kernel's driver is out of the
// server's time on the board. The ISDN slot's connect commands, which need
// the cross-connect, are left out; the SS7 slot's connect activates its HDLC
// channel and stays.
//
// With --bare the server is a forked bare relay over socketpairs
// (bench/line_relay.h): the far end writes the frames its engine would write
// (an I frame's or an MSU's header and the same information field) and takes
// the echo straight off its socket; the controller echoes each frame as it
// came.
//
// Usage: bench_signalling --kind isdn|ss7 (--server PATH [--no-cross-connect] | --bare)
//        [--links N] [--count N] [--warmup N] [--rate-frames N] [--depth N]
//        [--timeout S] [--server-log PATH] [--label TEXT] [--server-cpu N]
// Prints one JSON object; exit code 1 when a step failed.
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/board_control.h"
#include "bench/far_end.h"
#include "bench/frame_reader.h"
#include "bench/line_relay.h"
#include "bench/loopback.h"
#include "bench/proc_stats.h"
#include "core/lgcp.h"
#include "messages/term/TERM.h"
#include "foundation/event.h"
#include "foundation/multiplexer.h"
#include "foundation/timer.h"

namespace {

using Bench::LinkKind;

struct Options {
  LinkKind kind = LinkKind::isdn;
  std::string server;
  bool bare = false;
  bool no_cross_connect = false;
  int links = 0;  // 0: 1 for ISDN, 124 for SS7
  long warmup = 200, count = 2000, rate_frames = 20000;
  int depth = 0;  // 0: 16 for ISDN, 2 for SS7
  int timeout_s = 120;
  int server_cpu = -1;  // the core the server or relay runs on (-1: this one's)
  std::string server_log = "/dev/null", label;
};

void Pin(int cpu) {
  if (cpu < 0) return;
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  sched_setaffinity(0, sizeof set, &set);
}

// The load (far ends and controller) runs as a batch task: sharing the core
// with the process under test, it then never preempts that process when a
// frame or a message of the process wakes it, and runs when the process
// waits in poll(), as a remote controller and a line would. Its engines do as
// much work per frame as the server, so under the normal policy the two
// preempted each other by turns, and which one lost its turn at each wake-up
// changed from run to run. The forked server or relay keeps the normal
// policy.
void LoadAsBatch() {
  sched_param p{};
  sched_setscheduler(0, SCHED_BATCH, &p);
}

void MeasuredAsNormal() {
  sched_param p{};
  sched_setscheduler(0, SCHED_OTHER, &p);
}

// Slot numbers: the signalling slot of link i and its trunk slot.
unsigned SignallingSlot(unsigned link) { return 100 + link; }
unsigned TrunkSlot(unsigned link) { return 300 + link; }
// The TDM channel of link i: E1 trunk i / 31, timeslot i % 31 + 1 (ISDN: trunk
// 1, timeslot 16).
int LineChannel(LinkKind kind, int link) { return kind == LinkKind::isdn ? 48 : (link / 31) * 32 + link % 31 + 1; }

class Run : public Bench::FarEnd::Sink {
 public:
  explicit Run(const Options& o) : o_(o) {}
  ~Run() override { Stop(); }

  bool Main();
  void Print() const;

  void OnEcho(unsigned link) override;
  void OnFailure(const std::string& text) override {
    if (error_.empty()) error_ = text;
  }

 private:
  enum class Phase { setup, latency, rate, done };

  bool StartServer();
  bool StartBare();
  bool SendMessage(const LGCP::Message& m);
  bool CreateSlots();
  bool TapChannels();
  bool ActivateSlots();
  void OnController(int fd, short revents);
  void OnControllerFrame(const unsigned char* frame, std::size_t length);
  bool Until(Phase phase, const char* what);
  bool AllUp() const;
  void Stop();
  void OnTick() { tick_.set(100, &Run::OnTick, this); }

  const Options& o_;
  std::vector<std::unique_ptr<Bench::FarEnd>> far_;
  std::vector<bool> server_up_;
  pid_t pid_ = -1;
  int controller_ = -1;
  Event controller_event_;
  Bench::FrameReader reader_;
  std::string directory_, error_;
  Phase phase_ = Phase::setup;
  std::uint64_t deadline_ns_ = 0, sent_at_ = 0, rate_start_ = 0, rate_end_ = 0;
  long echoes_ = 0, rate_sent_ = 0;
  long commands_ = 0, answered_ = 0;
  std::vector<std::uint64_t> rtt_;
  std::vector<unsigned> due_;  // links whose next frame is to be sent
  Timer tick_;                 // wakes the loop so that the deadline holds
  double setup_ms_ = 0, cpu_before_ = -1, cpu_ms_ = -1;  // -1: not known
  // The simulated board's share of the server's CPU time (its own meter).
  double board_before_ = -1, board_cpu_ms_ = -1;
  // How often the server slept in poll(), and was preempted, over the rate
  // phase.
  long sleeps_before_ = 0, sleeps_ = -1, preempted_before_ = 0, preempted_ = -1;
  double BoardCpuMs() const {
    if (o_.bare || directory_.empty()) return -1;
    int handed = -1;
    const std::string reply = Bench::BoardRequest(directory_ + "/board", "board cpu", &handed);
    if (handed >= 0) close(handed);
    unsigned long long ns = 0;
    return std::sscanf(reply.c_str(), "ok %llu", &ns) == 1 ? double(ns) / 1e6 : -1;
  }
};

bool Run::StartServer() {
  char directory[] = "/tmp/gw-bench-sig-XXXXXX";
  if (!mkdtemp(directory)) return OnFailure("mkdtemp failed"), false;
  directory_ = directory;
  const std::string board = directory_ + "/board";
  const std::uint16_t port = Bench::FreeLoopbackPort();
  pid_ = fork();
  if (pid_ == 0) {
    Pin(o_.server_cpu);
    MeasuredAsNormal();
    setenv("GW_SIM_CONTROL", board.c_str(), 1);
    setenv("GW_SIM_METER", "1", 1);  // the board's CPU time, counted apart
    if (o_.no_cross_connect) {
      const char* absent = getenv("GW_SIM_ABSENT");
      setenv("GW_SIM_ABSENT", (std::string(absent ? absent : "") + " /dev/hal").c_str(), 1);
    }
    const int log = open(o_.server_log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (log >= 0) dup2(log, 1), dup2(log, 2);
    const std::string port_text = std::to_string(port);
    execl(o_.server.c_str(), o_.server.c_str(), "--port", port_text.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid_ < 0) return OnFailure("fork failed"), false;
  for (int i = 0; i < 500 && controller_ < 0; ++i) {
    controller_ = Bench::ConnectLoopback(port, 10000);
    if (controller_ < 0) usleep(10000);
  }
  if (controller_ < 0) return OnFailure("the server did not listen"), false;
  for (int i = 0; i < o_.links; ++i) {
    const int tdm = LineChannel(o_.kind, i);
    int line = -1;
    const std::string reply = Bench::BoardRequest(board, "line attach " + std::to_string(tdm), &line);
    if (line < 0) return OnFailure("line attach " + std::to_string(tdm) + ": " + reply), false;
    far_.emplace_back(new Bench::FarEnd(*this, static_cast<unsigned>(i), line, o_.kind, false));
  }
  return true;
}

bool Run::StartBare() {
  std::uint16_t port = 0;
  const int listener = Bench::ListenLoopback(0, 1, &port);
  if (listener < 0) return OnFailure("listen failed"), false;
  std::vector<int> ours, theirs;
  for (int i = 0; i < o_.links; ++i) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return OnFailure("socketpair failed"), false;
    ours.push_back(pair[0]), theirs.push_back(pair[1]);
  }
  pid_ = fork();
  if (pid_ == 0) {
    Pin(o_.server_cpu);
    MeasuredAsNormal();
    for (int fd : ours) close(fd);
    _exit(Bench::RunLineRelay(listener, theirs));
  }
  close(listener);
  for (int fd : theirs) close(fd);
  if (pid_ < 0) return OnFailure("fork failed"), false;
  controller_ = Bench::ConnectLoopback(port, 10000);
  if (controller_ < 0) return OnFailure("connect to the relay failed"), false;
  for (int i = 0; i < o_.links; ++i)
    far_.emplace_back(new Bench::FarEnd(*this, static_cast<unsigned>(i), ours[static_cast<size_t>(i)], o_.kind, true));
  return true;
}

bool Run::SendMessage(const LGCP::Message& m) {
  std::vector<char> bytes(4);
  if (!Lgcp::Encode(m, bytes)) return OnFailure("encode failed"), false;
  bytes[0] = 3, bytes[1] = 0;
  bytes[2] = static_cast<char>(bytes.size() >> 8), bytes[3] = static_cast<char>(bytes.size());
  if (!Bench::WriteAll(controller_, bytes.data(), bytes.size())) return OnFailure("controller write failed"), false;
  if (m.get_pdu().command_isSelected()) ++commands_;
  return true;
}

bool Run::CreateSlots() {
  for (unsigned i = 0; i < unsigned(o_.links); ++i) {
    const unsigned t = o_.kind == LinkKind::isdn ? 1 : i / 31;
    const unsigned ts = o_.kind == LinkKind::isdn ? 16 : i % 31 + 1;
    LGCP::Message trunk, link, connect;
    trunk.set_slot(TrunkSlot(i));
    LGCP::TrunkParams& tp = trunk.set_pdu().select_command().select_create().select_trunk();
    tp.set_trunk(t), tp.set_timeslot(ts);
    link.set_slot(SignallingSlot(i));
    LGCP::Command& lc = link.set_pdu().select_command();
    if (o_.kind == LinkKind::isdn) {
      LGCP::IsdnParams& p = lc.select_create().select_isdn();
      p.set_type(LGCP::IsdnType::pri), p.set_trunk(t), p.set_log(0);
      p.set_side().select_user();
    } else {
      LGCP::SS7Params& p = lc.select_create().select_pstn().select_ss7();
      p.set_trunk(t + 1), p.set_slc(0), p.set_dpc(2), p.set_opc(1), p.set_emergency(true);
    }
    if (!SendMessage(trunk) || !SendMessage(link)) return false;
    // Without the cross-connect an ISDN slot's connect can only fail.
    if (o_.kind == LinkKind::isdn && o_.no_cross_connect) continue;
    connect.set_slot(TrunkSlot(i));
    connect.set_pdu().select_command().select_connect(SignallingSlot(i));
    if (!SendMessage(connect)) return false;
    if (o_.kind == LinkKind::isdn) {
      LGCP::Message back;
      back.set_slot(SignallingSlot(i));
      back.set_pdu().select_command().select_connect(TrunkSlot(i));
      if (!SendMessage(back)) return false;
    }
  }
  return true;
}

// Once every command so far is answered, each link's controller channel is
// open: its far end takes the channel in place of the unwired line it was
// given at the start. Channels open in the order of the links' commands.
bool Run::TapChannels() {
  while (answered_ < commands_ && error_.empty()) {
    if (Bench::NowNs() > deadline_ns_) return OnFailure("timed out creating the slots"), false;
    multiplexer.run_once();
  }
  if (!error_.empty()) return false;
  const std::string board = directory_ + "/board";
  std::vector<int> numbers;
  const std::string reply = Bench::BoardRequest(board, "line channels", nullptr);
  if (reply.compare(0, 2, "ok") != 0) return OnFailure("line channels: " + reply), false;
  std::istringstream words(reply.substr(2));
  for (int number; words >> number;) numbers.push_back(number);
  if (numbers.size() != std::size_t(o_.links)) return OnFailure("line channels: " + reply), false;
  for (int i = 0; i < o_.links; ++i) {
    const std::string request = "line tap " + std::to_string(numbers[std::size_t(i)]);
    int line = -1;
    const std::string answer = Bench::BoardRequest(board, request, &line);
    if (line < 0) return OnFailure(request + ": " + answer), false;
    far_[std::size_t(i)]->ReplaceLine(line);
  }
  return true;
}

// The ISDN slots start their LAPD links once their lines are wired, so that
// the first SABME is not lost.
bool Run::ActivateSlots() {
  if (o_.kind != LinkKind::isdn) return true;
  for (unsigned i = 0; i < unsigned(o_.links); ++i) {
    LGCP::Message activate;
    activate.set_slot(SignallingSlot(i));
    activate.set_pdu().select_command().select_activate().select_empty();
    if (!SendMessage(activate)) return false;
  }
  return true;
}

void Run::OnController(int, short revents) {
  // The loop serves every handler after a poll, also those with no event.
  if (!(revents & (POLLIN | POLLHUP | POLLERR))) return;
  const long n = reader_.ReadSome(controller_);
  if (n <= 0) {
    controller_event_.Release();
    return OnFailure(n == 0 ? "the controller connection closed" : "controller read failed");
  }
  std::size_t length;
  while (const unsigned char* frame = reader_.NextFrame(&length)) OnControllerFrame(frame, length);
  if (reader_.bad()) OnFailure("not TPKT on the controller connection");
}

void Run::OnControllerFrame(const unsigned char* frame, std::size_t length) {
  if (o_.bare) {
    if (!Bench::WriteAll(controller_, frame, length)) OnFailure("controller write failed");
    return;
  }
  LGCP::Message m;
  if (!Lgcp::Decode(reinterpret_cast<const char*>(frame) + 4, int(length) - 4, m))
    return OnFailure("undecodable frame from the server");
  const LGCP::PDU& pdu = m.get_pdu();
  if (pdu.response_isSelected()) {
    ++answered_;
    if (!pdu.get_response().success_isSelected()) OnFailure("a command failed");
    return;
  }
  if (!pdu.signal_isSelected() || !m.slot_isPresent()) return;
  const LGCP::Signal& s = pdu.get_signal();
  const unsigned slot = unsigned(m.get_slot().getValue());
  if (slot < SignallingSlot(0) || slot >= SignallingSlot(unsigned(o_.links))) return;
  const unsigned link = slot - SignallingSlot(0);
  if (s.activated_isSelected()) server_up_[link] = true;
  if (s.deactivated_isSelected()) OnFailure("slot " + std::to_string(slot) + " deactivated");
  if (!s.userData_isSelected()) return;
  LGCP::Message echo;
  echo.set_slot(slot);
  echo.set_pdu().select_command().select_userData(s.get_userData());
  SendMessage(echo);
}

bool Run::AllUp() const {
  for (std::size_t i = 0; i < far_.size(); ++i)
    if (!far_[i]->up() || (!o_.bare && !server_up_[i])) return false;
  return true;
}

// Serves the loop until the phase is reached, an error or the deadline. The
// far ends send the frames of the latency phase, and the first window of the
// rate phase, between two passes.
bool Run::Until(Phase phase, const char* what) {
  while (phase_ != phase && error_.empty()) {
    if (Bench::NowNs() > deadline_ns_) return OnFailure(std::string("timed out ") + what), false;
    std::vector<unsigned> due;
    due.swap(due_);
    for (unsigned link : due) {
      if (phase_ == Phase::latency) sent_at_ = Bench::NowNs();
      far_[link]->Send();
    }
    if (phase_ == Phase::setup && AllUp()) {
      phase_ = Phase::latency;
      continue;
    }
    multiplexer.run_once();
    if (o_.kind != LinkKind::ss7 || o_.bare) continue;
    // The driver's repetition stops once both ends are in service.
    for (std::size_t i = 0; i < far_.size(); ++i) far_[i]->RepeatIdle(!(far_[i]->up() && server_up_[i]));
  }
  return error_.empty();
}

void Run::OnEcho(unsigned link) {
  ++echoes_;
  const std::uint64_t now = Bench::NowNs();
  if (phase_ == Phase::latency) {
    if (echoes_ > o_.warmup) rtt_.push_back(now - sent_at_);
    if (echoes_ < o_.warmup + o_.count) {
      due_.push_back(0);
      return;
    }
    // Then every link fills its window.
    phase_ = Phase::rate;
    echoes_ = 0;
    board_before_ = BoardCpuMs();
    const Bench::ProcStats before = Bench::ReadProcStats(pid_);
    cpu_before_ = before.ok ? before.cpu_ms_sched : -1;
    sleeps_before_ = before.voluntary_switches;
    preempted_before_ = before.involuntary_switches;
    rate_start_ = Bench::NowNs();
    for (unsigned i = 0; i < far_.size(); ++i)
      for (int d = 0; d < o_.depth && rate_sent_ < o_.rate_frames; ++d, ++rate_sent_) due_.push_back(i);
    return;
  }
  if (phase_ != Phase::rate) return;
  if (rate_sent_ < o_.rate_frames) {
    ++rate_sent_;
    far_[link]->Send();
  }
  if (echoes_ == o_.rate_frames) {
    rate_end_ = now;
    const Bench::ProcStats after = Bench::ReadProcStats(pid_);
    cpu_ms_ = after.ok && after.cpu_ms_sched >= 0 && cpu_before_ >= 0 ? after.cpu_ms_sched - cpu_before_ : -1;
    sleeps_ = after.ok && cpu_before_ >= 0 ? after.voluntary_switches - sleeps_before_ : -1;
    preempted_ = after.ok && cpu_before_ >= 0 ? after.involuntary_switches - preempted_before_ : -1;
    const double board_after = BoardCpuMs();
    board_cpu_ms_ = board_after >= 0 && board_before_ >= 0 ? board_after - board_before_ : -1;
    phase_ = Phase::done;
  }
}

bool Run::Main() {
  deadline_ns_ = Bench::NowNs() + std::uint64_t(o_.timeout_s) * 1000000000ull;
  const std::uint64_t t0 = Bench::NowNs();
  if (!(o_.bare ? StartBare() : StartServer())) return false;
  server_up_.assign(far_.size(), false);
  OnTick();
  controller_event_.Bind("Run::OnController", &Run::OnController, this);
  controller_event_.Schedule(Fd(dup(controller_)), POLLIN);
  for (auto& f : far_) {
    f->Start();
    if (o_.kind == LinkKind::ss7 && !o_.bare) f->RepeatIdle(true);
  }
  if (!o_.bare && !CreateSlots()) return false;
  if (o_.no_cross_connect && !TapChannels()) return false;
  if (!o_.bare && !ActivateSlots()) return false;
  if (!Until(Phase::latency, "bringing the links up")) return false;
  setup_ms_ = double(Bench::NowNs() - t0) / 1e6;
  due_.push_back(0);
  return Until(Phase::done, "waiting for echoes");
}

void Run::Stop() {
  tick_.reset();
  far_.clear();
  controller_event_.Release();
  if (controller_ >= 0) close(controller_), controller_ = -1;
  if (pid_ > 0) {
    if (!o_.bare) kill(pid_, SIGTERM);
    int status;
    for (int i = 0; i < 1000 && waitpid(pid_, &status, WNOHANG) == 0; ++i) usleep(10000);
    if (kill(pid_, 0) == 0) kill(pid_, SIGKILL), waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  if (!directory_.empty()) {
    const std::string board = directory_ + "/board";
    unlink(board.c_str());
    rmdir(directory_.c_str());
    directory_.clear();
  }
}

void Run::Print() const {
  const char* kind = o_.kind == LinkKind::isdn ? "isdn" : "ss7";
  if (!error_.empty()) {
    std::printf("{\"label\":\"%s\",\"kind\":\"%s\",\"error\":\"%s\"}\n", o_.label.c_str(), kind, error_.c_str());
    return;
  }
  std::vector<std::uint64_t> sorted = rtt_;
  std::sort(sorted.begin(), sorted.end());
  auto pct = [&](double p) {
    return sorted.empty() ? 0.0 : double(sorted[std::min(sorted.size() - 1, std::size_t(p * double(sorted.size())))]) / 1e3;
  };
  const double seconds = double(rate_end_ - rate_start_) / 1e9;
  std::printf("{\"label\":\"%s\",\"kind\":\"%s\",\"links\":%d,\"depth\":%d,\"count\":%ld,\"p50_us\":%.2f,"
              "\"p99_us\":%.2f,\"rate_frames\":%ld,\"frames_per_s\":%.0f,\"cpu_ms\":%.1f,\"cpu_share\":%.3f,"
              "\"board_cpu_ms\":%.1f,\"sleeps\":%ld,\"preempted\":%ld,\"setup_ms\":%.0f}\n",
              o_.label.c_str(), kind, o_.links, o_.depth, o_.count, pct(0.5), pct(0.99), o_.rate_frames,
              seconds > 0 ? double(o_.rate_frames) / seconds : 0.0, cpu_ms_,
              seconds > 0 && cpu_ms_ >= 0 ? cpu_ms_ / (seconds * 1e3) : -1.0, board_cpu_ms_, sleeps_, preempted_, setup_ms_);
}

bool ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--bare" || a == "--no-cross-connect") {
      (a == "--bare" ? o.bare : o.no_cross_connect) = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    const std::string v = argv[++i];
    if (a == "--kind" && (v == "isdn" || v == "ss7")) o.kind = v == "isdn" ? LinkKind::isdn : LinkKind::ss7;
    else if (a == "--server") o.server = v;
    else if (a == "--links") o.links = std::atoi(v.c_str());
    else if (a == "--count") o.count = std::atol(v.c_str());
    else if (a == "--warmup") o.warmup = std::atol(v.c_str());
    else if (a == "--rate-frames") o.rate_frames = std::atol(v.c_str());
    else if (a == "--depth") o.depth = std::atoi(v.c_str());
    else if (a == "--timeout") o.timeout_s = std::atoi(v.c_str());
    else if (a == "--server-log") o.server_log = v;
    else if (a == "--label") o.label = v;
    else if (a == "--server-cpu") o.server_cpu = std::atoi(v.c_str());
    else return false;
  }
  const bool ss7 = o.kind == LinkKind::ss7;
  if (o.links == 0) o.links = ss7 ? 124 : 1;
  if (o.depth == 0) o.depth = ss7 ? 2 : 16;
  if (o.label.empty())
    o.label = std::string(ss7 ? "ss7-" : "isdn-") + (o.bare ? "bare" : o.no_cross_connect ? "server-nohal" : "server");
  // ISDN has one D channel here; SS7 fits timeslots 1..31 of four trunks.
  const int most = ss7 ? 124 : 1;
  return (o.bare ? !o.no_cross_connect : !o.server.empty()) && o.links >= 1 && o.links <= most && o.count > 0 && o.warmup >= 0 &&
         o.rate_frames > 0 && o.depth > 0 && o.timeout_s > 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseOptions(argc, argv, o)) {
    std::fprintf(stderr,
                 "usage: bench_signalling --kind isdn|ss7 (--server PATH [--no-cross-connect] | --bare) [--links N]\n"
                 "       [--count N] [--warmup N] [--rate-frames N] [--depth N] [--timeout S] [--server-log PATH]\n"
                 "       [--label T] [--server-cpu N]\n");
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  LoadAsBatch();
  // The engines' trace lines are not part of the result.
  std::clog.rdbuf(nullptr);
  bool ok;
  {
    Run run(o);
    ok = run.Main();
    run.Print();
  }
  return ok ? 0 : 1;
}
