// Framed connections (acceptors, connectors, trace port, stream and TPKT
// layers) driven by data/*.script on the virtual clock over real sockets;
// what they report is compared whole with the .golden beside. Commands: see
// run(). "$DIR" is a temporary directory, "$PORT" the port of the script's
// listener (or, after forget-port, one where nothing listens).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <regex>
#include <sstream>

#include "board/sim/sim_board.h"
#include "foundation/multiplexer.h"
#include "foundation/mux_clock.h"
#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"
#include "net/acceptor_net.h"
#include "net/connector_net.h"
#include "net/service_unix.h"
#include "net/strm_protocol.h"
#include "net/testing/pool_check.h"
#include "net/tpkt_protocol.h"
#include "net/tpkt_tracer.h"
#include "tests/support/bytes.h"
#include "tests/support/golden.h"
#include "tests/support/temp_dir.h"

namespace {

using TestBytes::TpktFrame;

// Prefixes each line written to a standard stream with its tag.
struct Tagged : std::streambuf {
  Tagged(std::string* s, const char* t) : sink(s), tag(t) {}
  int overflow(int c) override {
    if (line_start) *sink += tag;
    line_start = c == '\n';
    sink->push_back(static_cast<char>(c));
    return c;
  }
  std::string* sink;
  const char* tag;
  bool line_start = true;
};

// "x*513" is 513 x; "-" is empty; anything else is itself.
std::string body(const std::string& spec) {
  if (spec == "-") return "";
  if (spec.size() < 3 || spec[1] != '*') return spec;
  return std::string(static_cast<std::size_t>(std::stoll(spec.substr(2))), spec[0]);
}

std::string shown(const std::string& b) {
  if (b.size() > 40 && b.find_first_not_of(b[0]) == std::string::npos)
    return std::string(1, b[0]) + "*" + std::to_string(b.size());
  for (char ch : b)
    if (ch < ' ' || ch > '~') return "hex " + TestBytes::Hex(b);
  return "'" + b + "'";
}

// The bodies of whole TPKT frames; what is left over in hex.
std::string frames(const std::string& bytes) {
  std::string text;
  std::string::size_type at = 0;
  while (bytes.size() - at >= 4 && bytes[at] == 3) {
    const std::size_t n =
        static_cast<unsigned char>(bytes[at + 2]) << 8 | static_cast<unsigned char>(bytes[at + 3]);
    if (n < 4 || at + n > bytes.size()) break;
    text += " " + shown(bytes.substr(at + 4, n - 4));
    at += n;
  }
  if (at < bytes.size()) text += " hex " + TestBytes::Hex(bytes.substr(at));
  return text.empty() ? " nothing" : text;
}

int virtual_wait(pollfd* fds, nfds_t count, int timeout) {
  const int ready = ::poll(fds, count, 0);
  if (ready == 0) VirtualClock::current()->advance(static_cast<unsigned long long>(timeout));
  return ready;
}

bool tcp_info_readable() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  unsigned char info[92];
  socklen_t size = sizeof info;
  const bool readable = ::getsockopt(fd, IPPROTO_TCP, TCP_INFO, info, &size) == 0 && size >= 8;
  return ::close(fd), readable;
}

sockaddr_in loopback(unsigned short port) {
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  sin.sin_port = htons(port);
  sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return sin;
}

int listen_loopback(unsigned short* port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sin = loopback(0);
  socklen_t size = sizeof sin;
  ::bind(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
  ::listen(fd, 8);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&sin), &size);
  *port = ntohs(sin.sin_port);
  return fd;
}

sockaddr_un unix_address(const std::string& path) {
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
  return a;
}

int connect_to(int family, const void* address, socklen_t size, const std::string& local = "") {
  const int fd = ::socket(family, SOCK_STREAM, 0);
  const sockaddr_un own = unix_address(local);
  if ((!local.empty() && ::bind(fd, reinterpret_cast<const sockaddr*>(&own), sizeof own) != 0) ||
      ::connect(fd, static_cast<const sockaddr*>(address), size) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::string read_some(int fd, int ms, bool* eof = nullptr) {
  std::string bytes;
  pollfd entry{fd, POLLIN, 0};
  if (::poll(&entry, 1, ms) <= 0) return bytes;
  char buffer[65536];
  for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0 ||
                  (n == 0 && eof && (*eof = true, false));)
    bytes.append(buffer, static_cast<std::size_t>(n));
  return bytes;
}

// Lowers the descriptor limit so that no new descriptor can be made.
struct NoMoreDescriptors {
  NoMoreDescriptors() {
    ::getrlimit(RLIMIT_NOFILE, &saved);
    const int lowest_free = ::dup(0);
    ::close(lowest_free);
    const rlimit tight{static_cast<rlim_t>(lowest_free), saved.rlim_max};
    ::setrlimit(RLIMIT_NOFILE, &tight);
  }
  ~NoMoreDescriptors() { ::setrlimit(RLIMIT_NOFILE, &saved); }
  rlimit saved;
};

struct Session;
// Adds a line; counts connects, disconnects, messages (0-2), the first two timed.
void say(Session* s, const std::string& line, int counter = -1);

struct Object : Control::Notify, TPKTTracer::Receiver, ProtocolsList {
  Object(Session* s, std::string n) : session(s), name(std::move(n)) {}
  void OnConnect() override { say(session, name + " connected", 0); }
  void OnDisconnect() override { say(session, name + " disconnected", 1); }
  void OnMessage(const char* data, int length) override {
    say(session, name + " message " + shown({data, static_cast<std::size_t>(length)}), 2);
  }
  void OnTraceFrame(const unsigned char* data, unsigned length) override {
    OnMessage(reinterpret_cast<const char*>(data), static_cast<int>(length));
    if (!reply.empty()) tracer->Send(reply.data(), static_cast<unsigned>(reply.size()));
  }
  void on_message(Packet& p) override {
    OnMessage(reinterpret_cast<const char*>(p.data()), static_cast<int>(p.length()));
  }
  void on_activated(Protocol*) override { say(session, name + " activated"); }
  void on_deactivated(Protocol*, Protocol_status st) override {
    say(session, name + " ended " + (st->success() ? "ok " : "error ") + st->message());
  }
  void transmit(Packet& p) override {
    const std::string wire(reinterpret_cast<const char*>(p.data()), p.length());
    say(session, name + " wire " + TestBytes::Hex(wire.substr(0, 4)) + " " + shown(wire.substr(4)));
  }

  Session* session;
  std::string name, reply, path;
  std::unique_ptr<Control::Service> service;
  Control::AcceptorNet* tcp = nullptr;
  Control::AcceptorNetCheckConnection* checking = nullptr;
  std::unique_ptr<TPKTTracer> tracer;
  StrmProtocol* stream = nullptr;
  Tpkt_protocol* tpkt = nullptr;
};

Packet packet(const std::string& bytes, Protocol* head_from = nullptr) {
  Packet p;
  head_from ? head_from->prepare_head(p) : p.reserve_head(0);
  std::memcpy(p.put(static_cast<unsigned>(bytes.size())), bytes.data(), bytes.size());
  return p;
}

void receive(Protocol* layer, const std::string& bytes) {
  Packet p = packet(bytes);
  layer->receive(p);
}

// What a peer writes or a TPKT layer is fed: "h:HEX" these bytes,
// "p:FROM:TO:BODY" a part of a frame, anything else a frame of that body.
std::string bytes_of(const std::string& spec) {
  if (spec.compare(0, 2, "h:") == 0) return TestBytes::FromHex<std::string>(spec.substr(2));
  if (spec.compare(0, 2, "p:") != 0) return TpktFrame(body(spec));
  const std::size_t a = spec.find(':', 2), b = spec.find(':', a + 1);
  const std::size_t from = std::stoul(spec.substr(2, a - 2)),
                    to = std::stoul(spec.substr(a + 1, b - a - 1));
  return TpktFrame(body(spec.substr(b + 1))).substr(from, to - from);
}

struct Session {
  Session() {
    for (int i = 0; i < 3; ++i) old[i] = streams[i]->rdbuf(&tags[i]);
  }
  ~Session() {
    for (int fd : fds)
      if (fd >= 0) ::close(fd);
    for (auto& o : objects) {
      if (o.second->service) o.second->service->Deactivate(), o.second->service->Release();
      if (o.second->tpkt) o.second->tpkt->deactivate();
    }
    objects.clear();
    if (listener >= 0) ::close(listener);
    for (int i = 0; i < 3; ++i) streams[i]->rdbuf(old[i]);
  }
  // Moves the captured log into the transcript, without what differs from
  // run to run.
  void flush() {
    static const std::regex port("127\\.0\\.0\\.1:[0-9]+"), buffers("sendbuf=.*outq=-?[0-9]+"),
        ports("port [0-9]{4,5}"), errno_text("(pollhup|pollerr|read error): .*");
    std::string text = std::regex_replace(captured, port, "127.0.0.1:P");
    text = std::regex_replace(text, ports, "port P");
    text =
        std::regex_replace(std::regex_replace(text, buffers, "sendbuf=..."), errno_text, "$1: ...");
    const std::string names[] = {"$LONG", "$DIR"}, values[] = {longest, dir.path()};
    for (int i = 0; i < 2; ++i)
      for (std::string::size_type at;
           !values[i].empty() && (at = text.find(values[i])) != std::string::npos;)
        text.replace(at, values[i].size(), names[i]);
    transcript += text;
    captured.clear();
  }
  void say(const std::string& line) {
    captured += line + "\n";
    flush();
  }
  Object& at(const std::string& n) {
    return *(objects[n] ? objects[n] : objects[n] = std::unique_ptr<Object>(new Object(this, n)));
  }
  int fd(const std::string& n) { return fds.at(static_cast<std::size_t>(std::stoll(n.substr(1)))); }
  unsigned ms() const { return Mux::milliseconds() - start; }
  std::string subst(std::string word) {
    const std::pair<const char*, std::string> vars[] = {
        {"$LONG", longest}, {"$DIR", dir.path()}, {"$PORT", std::to_string(port)}};
    for (const auto& v : vars)
      for (std::string::size_type at; (at = word.find(v.first)) != std::string::npos;)
        word.replace(at, std::strlen(v.first), v.second);
    return word;
  }
  void run(std::vector<std::string> w);

  VirtualClock clock;
  LoopTest::IdleDescriptor idle;
  TestFiles::TempDir dir;
  std::string captured, transcript, longest;
  std::ostream* const streams[3] = {&std::cout, &std::cerr, &std::clog};
  Tagged tags[3] = {{&captured, "out: "}, {&captured, "err: "}, {&captured, "log: "}};
  std::streambuf* old[3];
  const unsigned start = Mux::milliseconds();
  std::map<std::string, std::unique_ptr<Object>> objects;
  std::vector<int> fds;
  int listener = -1;
  unsigned short port = 0;
  int counts[3] = {0, 0, 0};
};

void say(Session* s, const std::string& line, int counter) {
  if (counter >= 0) ++s->counts[counter];
  s->say(counter == 0 || counter == 1 ? line + " at " + std::to_string(s->ms()) : line);
}

void Session::run(std::vector<std::string> w) {
  for (std::string& word : w) word = subst(word);
  const std::string& c = w[0];
  Object* o = w.size() > 1 ? &at(w[1]) : nullptr;
  Control::Service* s = o ? o->service.get() : nullptr;
  auto arg = [&](std::size_t i) { return i < w.size() ? w[i] : std::string(); };
  auto own = [&](Control::Service* made) { o->service.reset(made), made->Bind(o); };
  if (c == "acceptor" || c == "plain-acceptor" || c == "quiet-acceptor") {
    // A fixed port only when given; the checking acceptor names its stream.
    const int p = w.size() > 2 ? static_cast<int>(std::stoll(w[2])) : 0;
    o->tcp = c == "acceptor" ? o->checking = new Control::AcceptorNetCheckConnection(p)
                             : new Control::AcceptorNet(p, c == "plain-acceptor");
    own(o->tcp);
    o->tcp->SetLocalAddress(INet4::Addr(std::string("127.0.0.1")));
    if (o->checking) o->tcp->service_name("server");
  } else if (c == "unix-acceptor") {
    own(new Control::AcceptorUnix(o->path = w[2]));
  } else if (c == "unix-connector") {
    own(new Control::ConnectorUnix(w[2], arg(3)));
  } else if (c == "connector") {
    own(w.size() > 3
            ? new Control::ConnectorNet(w[2], static_cast<unsigned short>(std::stoll(w[3])))
            : new Control::ConnectorNet(w[2]));
    auto* n = static_cast<Control::ConnectorNet*>(o->service.get());
    say(o->name + " host " + n->host() + " port " + std::to_string(n->port()));
  } else if (c == "tracer") {
    o->tracer.reset(new TPKTTracer);
    o->tracer->SetReceiver(o);
    say(o->name + " listen " +
        std::to_string(o->tracer->Listen(INet4::Addr(std::string("127.0.0.1:0")))));
  } else if (c == "stream") {  // the stream layer alone on a socket pair
    int pair[2];
    ::socketpair(AF_UNIX, SOCK_STREAM, 0, pair);
    Fd ours(pair[0]);
    ours.NonBlock();
    o->stream = static_cast<StrmProtocol*>(o->add_protocol_tail(new StrmProtocol));
    o->stream->service_name("server");
    if (w.size() < 3) o->stream->attach(ours);
    o->stream->activate();
    say("c" + std::to_string(fds.size()));
    fds.push_back(pair[1]);
  } else if (c == "tpkt") {  // the framing layer alone
    o->tpkt = static_cast<Tpkt_protocol*>(o->add_protocol_tail(new Tpkt_protocol));
  } else if (c == "feed") {
    for (std::size_t i = 2; i < w.size(); ++i) receive(o->tpkt, bytes_of(w[i]));
  } else if (c == "frame") {
    Packet p = packet(body(arg(2)), o->tpkt);
    o->tpkt->message(p);
  } else if (c == "frame-unprepared") {  // room for the header, no check of the size
    Packet p;
    p.reserve_head(4);
    p.put(static_cast<unsigned>(std::stoul(w[2])));
    o->tpkt->message(p);
  } else if (c == "tpkt-state") {
    say(o->name + " state " + std::to_string(o->tpkt->state()) + " timer " +
        std::to_string(o->tpkt->timer_running()) + " blocks " +
        std::to_string(net_testing::blocks_in_use()));
  } else if (c == "listen") {
    listener = listen_loopback(&port);
  } else if (c == "unlisten") {
    ::close(listener), listener = -1;
  } else if (c == "forget-port") {
    ::close(listen_loopback(&port));
  } else if (c == "activate") {
    say(o->name + " activate " + std::to_string(s->Activate()));
  } else if (c == "activate-without-fds") {
    NoMoreDescriptors limit;
    say(o->name + " activate " + std::to_string(s->Activate()));
    say(w[2] + " activate " + std::to_string(at(w[2]).service->Activate()));
  } else if (c == "deactivate") {
    if (o->stream || o->tpkt)
      (o->stream ? static_cast<Protocol*>(o->stream) : o->tpkt)->deactivate();
    else
      s->Deactivate();
  } else if (c == "disconnect") {
    s->Disconnect();
  } else if (c == "release") {
    s->Release();
  } else if (c == "check") {
    o->checking->CheckConnection();
  } else if (c == "accept-event") {  // a readiness of the listener
    o->tcp->OnSocketEvent(-1, POLLIN);
  } else if (c == "stream-event") {
    o->stream->on_event(0, static_cast<short>(w[2] == "in" ? POLLIN : POLLERR));
  } else if (c == "state") {
    std::string text =
        o->name + " " + GetTextNotation(s->GetState()) + " addr '" + s->GetAddr() + "'";
    if (o->tcp) text += " port " + std::string(o->tcp->LocalPort() ? "set" : "0");
    using Check = Control::AcceptorNetCheckConnection::CheckState;
    if (o->checking)
      text += " probing " + std::to_string(o->checking->probing()) + " checking " +
              std::to_string(o->checking->check_state() == Check::Checking);
    if (auto* n = dynamic_cast<Control::ConnectorNet*>(s))
      text += " retry " + std::to_string(n->retry_pending());
    say(text + " overflows " + std::to_string(s->GetOverflowCounter()));
  } else if (c == "client") {  // a client of the object, TCP or local
    const sockaddr_un local = unix_address(o->path);
    const sockaddr_in tcp = loopback(o->tracer ? o->tracer->LocalPort()
                                     : o->tcp  ? o->tcp->LocalPort()
                                               : 0);
    const int fd = o->path.empty() ? connect_to(AF_INET, &tcp, sizeof tcp)
                                   : connect_to(AF_UNIX, &local, sizeof local, arg(2));
    if (o->tracer)
      LoopTest::runUntil(
          [&, n = o->tracer->connection_count()] { return o->tracer->connection_count() > n; }, 50);
    say("c" + std::to_string(fds.size()) + (fd < 0 ? " failed" : ""));
    fds.push_back(fd);
  } else if (c == "accept") {  // the next client of the script's listener
    pollfd entry{listener, POLLIN, 0};
    for (int i = 0; i < 100 && ::poll(&entry, 1, 10) != 1; ++i) LoopTest::runOnce();
    if (entry.revents == 0) return say("nothing to accept");
    say("c" + std::to_string(fds.size()) + " accepted");
    fds.push_back(::accept(listener, nullptr, nullptr));
  } else if (c == "write") {
    std::string bytes;
    for (std::size_t i = 2; i < w.size(); ++i) bytes += bytes_of(w[i]);
    const int fd = this->fd(w[1]);
    for (std::size_t done = 0; done < bytes.size();) {
      const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
  } else if (c == "shut") {
    ::shutdown(fd(w[1]), SHUT_WR);
  } else if (c == "close" || c == "reset") {
    linger hard{1, 0};
    if (c == "reset") ::setsockopt(fd(w[1]), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::close(fd(w[1]));
    fds[static_cast<std::size_t>(std::stoll(w[1].substr(1)))] = -1;
  } else if (c == "read") {  // up to the given count of bytes, or what comes within 1 s
    std::string got;
    const std::size_t want = w.size() > 2 ? static_cast<std::size_t>(std::stoll(w[2])) : 1;
    for (int i = 0; i < (want > 1 ? 50 : 1) && got.size() < want; ++i)
      got += read_some(fd(w[1]), 100);
    say(w[1] + " read" + frames(got));
  } else if (c == "eof") {
    bool eof = false;
    for (int tries = 0; tries < 10 && !eof; ++tries) read_some(fd(w[1]), 100, &eof);
    say(w[1] + (eof ? " eof" : " open"));
  } else if (c == "send") {
    const std::string b = body(arg(2));
    Packet p = packet(b);
    if (o->stream) return o->stream->message(p);
    const bool sent = o->tracer ? o->tracer->Send(b.data(), static_cast<unsigned>(b.size()))
                                : s->Send(b.data(), static_cast<int>(b.size()));
    say(o->name + " send " + std::to_string(sent));
  } else if (c == "flood") {  // sends from inside the loop, the watchdog open, until refused
    BoardSim::watchdog().clear();
    const StrmProtocol::WaitFunction saved = StrmProtocol::setWaitFunction(&virtual_wait);
    struct Writer {
      Control::Service* s;
      int sent;
      std::string after;  // while the end is being reported nothing more is sent
      Timer timer;
      void Write() {
        const std::string message(65531, 's');
        while (s->Send(message.data(), 65531) && sent < 1000) ++sent;
        after = std::string(GetTextNotation(s->GetState())) + ", then send " +
                std::to_string(s->Send("x", 1));
        multiplexer.terminate();
      }
    } writer{s, 0, "", {}};
    const unsigned from = ms();
    writer.timer.set(1, &Writer::Write, &writer);
    multiplexer.run(true, true);
    StrmProtocol::setWaitFunction(saved);
    int pings = 0;
    for (const std::string& word : BoardSim::watchdog().words()) pings += word == "PING";
    say(o->name + " refused after " + (writer.sent > 0 ? "some" : "no") + " messages and " +
        std::to_string(ms() - from) + " ms, watchdog fed " +
        (pings >= 2 ? "twice or more" : "less than twice") + ", " + writer.after);
  } else if (c == "run") {
    LoopTest::runFor(static_cast<unsigned long long>(std::stoll(w[1])));
  } else if (c == "until") {  // connects|disconnects|messages|count N, or state S
    const long long n = std::stoll(w[3]);
    const bool done = LoopTest::runUntil(
        [&] {
          if (w[2] == "count") return o->tracer->connection_count() == n;
          if (w[2] == "state")
            return s->GetState() == static_cast<Control::Service::State::Type>(n);
          return counts[w[2] == "connects" ? 0 : w[2] == "disconnects" ? 1 : 2] == n;
        },
        200);
    if (!done) say("until " + w[1] + " " + w[2] + " " + w[3] + " failed");
  } else if (c == "mute") {
    o->tracer->SetReceiver(nullptr);
  } else if (c == "reply") {
    o->reply = w[2];
  } else if (c == "is-socket" || c == "is-file") {
    struct stat st;
    const bool there = ::lstat(w[1].c_str(), &st) == 0 &&
                       (c == "is-socket" ? S_ISSOCK(st.st_mode) : S_ISREG(st.st_mode));
    say(c + " " + (there ? "yes" : "no"));
  } else if (c == "make-file") {
    std::ofstream(w[1]) << "keep\n";
  } else if (c == "path-of-length") {  // a path of the given length in $DIR
    const std::string base = dir.path() + "/";
    longest = base + std::string(static_cast<std::size_t>(std::stoll(w[1])) - base.size(), 'p');
  } else {
    ADD_FAILURE() << "unknown command " << c;
  }
}

class Connections : public ::testing::TestWithParam<const char*> {};

TEST_P(Connections, TranscriptMatchesItsGolden) {
  const std::string name = GetParam(), base = TestGolden::Beside(__FILE__, "data/" + name);
  if (name == "needs_tcp_info" && !tcp_info_readable()) GTEST_SKIP() << "no TCP_INFO here";
#if defined(__SANITIZE_ADDRESS__)
  if (name.rfind("no_descriptors", 0) == 0) GTEST_SKIP() << "the sanitizers' runtime needs descriptors";
#endif
  std::string transcript;
  std::unique_ptr<Session> session;
  auto finish = [&] {  // each section leaves the loop as it found it
    if (session) session->flush(), transcript += session->transcript + "\n", session.reset();
    EXPECT_EQ("", LoopTest::leftovers());
  };
  ASSERT_TRUE(TestGolden::ForEachLine(base + ".script", [&](const std::vector<std::string>& f) {
    std::istringstream in(f[0]);
    const std::vector<std::string> words{std::istream_iterator<std::string>(in), {}};
    if (words[0] == "==") return finish(), transcript += f[0] + "\n", session.reset(new Session);
    session->say("> " + f[0]);
    session->run(words);
  }));
  finish();
  TestGolden::Expect(base + ".golden", transcript);
}

INSTANTIATE_TEST_SUITE_P(Net, Connections,
                         ::testing::Values("acceptor", "unix", "connector", "tracer", "stream",
                                           "tpkt", "needs_tcp_info", "no_descriptors",
                                           "no_descriptors_connectors"),
                         [](const ::testing::TestParamInfo<const char*>& i) {
                           return std::string(i.param);
                         });

}  // namespace
