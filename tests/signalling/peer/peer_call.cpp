#include "tests/signalling/peer/peer_call.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "foundation/testing/loop_runner.h"

namespace PeerCall {

Relay::Relay(unsigned seed, unsigned loss)
    : seed_(seed),
      loss_(loss),
      trace_(std::getenv("GW_LAPD_TRACE") && std::string(std::getenv("GW_LAPD_TRACE")) == "1"),
      start_ms_(VirtualClock::current()->nowMs()) {}

void Relay::send(const Bytes& frame, bool from_network) {
  if (pcap) pcap->frame(frame, from_network);
  line.push_back({frame, from_network, VirtualClock::current()->nowMs()});
  seed_ = seed_ * 1103515245u + 12345u;
  const bool lose = (seed_ >> 16) % 100 < loss_;
  if (trace_) {
    std::fprintf(stderr, "%8llu %s%s", VirtualClock::current()->nowMs() - start_ms_,
                 from_network ? "network->user" : "user->network", lose ? " lost:" : ":");
    for (std::uint8_t b : frame) std::fprintf(stderr, " %02X", b);
    std::fprintf(stderr, "\n");
  }
  if (lose)
    ++lost;
  else
    (from_network ? to_user : to_network).push_back(frame);
}

std::string message_symbols(const Bytes& m) {
  std::string symbols;
  if (m.size() < 3 || m[0] != 0x08) return symbols;
  const unsigned len = m[1] & 0x0F;
  if (m.size() < 3 + len) return symbols;
  switch (m[2 + len]) {
    case 0x05: symbols += 'S'; break;
    case 0x02: symbols += 'P'; break;
    case 0x01: symbols += 'A'; break;
    case 0x07: symbols += 'C'; break;
    default: break;
  }
  for (std::size_t i = 3 + len; i + 1 < m.size();) {
    if (m[i] == 0x2C && i + 2 < m.size()) symbols += static_cast<char>(m[i + 2]);
    i += (m[i] & 0x80) ? 1 : 2 + m[i + 1];  // a single-octet element, or type, length, contents
  }
  return symbols;
}

std::string frame_symbols(const Bytes& frame) {
  if (frame.size() < 3 || frame[0] >> 2 != 0) return std::string();
  const bool i_frame = !(frame[2] & 1), ui = (frame[2] & 0xEF) == 0x03;
  if (!i_frame && !ui) return std::string();
  const std::size_t header = i_frame ? 4 : 3;
  return frame.size() > header ? message_symbols(Bytes(frame.begin() + header, frame.end())) : std::string();
}

std::string Party::digits() const {
  std::string d;
  for (char c : got_)
    if (c >= '0' && c <= '9') d += c;
  return d;
}

namespace {

// When the re-establishment that lost message `i` of `from` may come. Sent
// on the line: from its last transmission until the sender's retries ran
// out. Never sent (still queued, as a link with a window of one keeps them):
// from its hand-over until the sender sent a message handed over after it,
// as a queue discarded at the re-establishment lets nothing later go first.
struct LossWindow {
  unsigned long long from, until;
  bool sent;
};

LossWindow loss_window(const Party& from, std::size_t i, bool from_network, const std::vector<Captured>& line) {
  const std::vector<Party::Sent>& sent = from.sent();
  std::string later;
  for (std::size_t j = i + 1; j < sent.size(); ++j) later += sent[j].symbol;
  LossWindow w{sent[i].ms, ~0ull, false};
  bool later_went = false;
  for (const Captured& c : line) {
    if (c.network_to_user != from_network || c.ms < sent[i].ms) continue;
    const std::string symbols = frame_symbols(c.frame);
    if (symbols.find(sent[i].symbol) != std::string::npos) w.from = c.ms, w.sent = true;
    if (!later_went && symbols.find_first_of(later) != std::string::npos) later_went = true, w.until = c.ms;
  }
  if (w.sent) w.until = w.from + reestablish_window_ms(from);
  return w;
}

// Checks what `to` got from `from`; appends to `why` and answers false on a
// fault, notes in `lost` what went missing.
bool check_direction(const Party& from, const Party& to, bool from_network, const std::vector<Captured>& line,
                     std::string* lost, std::string* why) {
  const std::string from_name = from_network ? "network" : "user", to_name = from_network ? "user" : "network";
  const std::vector<Party::Sent>& sent = from.sent();
  std::vector<bool> arrived(sent.size(), false);
  std::size_t next = 0;
  for (char c : to.got()) {
    while (next < sent.size() && sent[next].symbol != c) ++next;
    if (next == sent.size()) {
      *why += "the " + to_name + " side got \"" + to.got() + "\": out of order, twice, or never sent; ";
      return false;
    }
    arrived[next++] = true;
  }
  for (std::size_t i = 0; i < sent.size(); ++i) {
    if (arrived[i]) continue;
    const std::vector<unsigned long long>& resets = from.resets();
    const LossWindow w = loss_window(from, i, from_network, line);
    const bool explained = std::any_of(resets.begin(), resets.end(),
                                       [&](unsigned long long ms) { return ms >= w.from && ms <= w.until; });
    if (!explained) {
      *why += "the " + from_name + " side's '" + sent[i].symbol + "' (handed over at " + std::to_string(sent[i].ms) +
              " ms, " + (w.sent ? "last sent at " + std::to_string(w.from) : std::string("never sent")) +
              ") was lost with no re-establishment reported by " +
              (w.until == ~0ull ? std::string("the end") : std::to_string(w.until) + " ms") + " (resets at";
      for (unsigned long long ms : resets) *why += " " + std::to_string(ms);
      *why += "); ";
      return false;
    }
    *lost += sent[i].symbol;
  }
  return true;
}

}  // namespace

Verdict judge(bool came_up, const Party& network, const Party& user, const std::vector<Captured>& line,
              std::string* why) {
  why->clear();
  if (!came_up) {
    *why = "the link never came up";
    return Verdict::fault;
  }
  bool sound = true;
  for (const Party* side : {&network, &user})
    if (side->errors().find_first_not_of("FGI") != std::string::npos) {
      *why += std::string("the ") + (side == &network ? "network" : "user") + " side reported MDL-ERROR " +
              side->errors() + "; ";
      sound = false;
    }
  std::string network_lost, user_lost;
  sound = check_direction(network, user, true, line, &network_lost, why) && sound;
  sound = check_direction(user, network, false, line, &user_lost, why) && sound;
  if (!sound) return Verdict::fault;
  if (network_lost.empty() && user_lost.empty()) return Verdict::clean;
  *why = "lost to re-establishment: network \"" + network_lost + "\", user \"" + user_lost + "\"";
  return Verdict::lost_to_reestablishment;
}

bool Call::run() {
  if (!pump([this] { return network_.up() && user_.up(); }, 30)) return false;
  user_.setup();
  if (!pump([this] { return user_.got().find('C') != std::string::npos; }, 30)) return true;
  Party& first = network_first_ ? network_ : user_;
  Party& second = network_first_ ? user_ : network_;
  for (char d = '0'; d <= '9'; ++d) first.send_digit(d), second.send_digit(d);
  pump([this] { return network_.digits().size() >= 10 && user_.digits().size() >= 10; }, 60);
  return true;
}

bool Call::pump(const std::function<bool()>& done, unsigned seconds) {
  VirtualClock& clock = *VirtualClock::current();
  const unsigned long long end = clock.nowMs() + seconds * 1000ull;
  Party* const order[] = {network_first_ ? &network_ : &user_, network_first_ ? &user_ : &network_};
  for (unsigned passes = 0; !done(); ++passes) {
    // Frames that bounce without end, the clock standing still, fail too.
    if (clock.nowMs() > end || passes > 1000000) return false;
    for (Party* p : order) p->take_frames();
    for (Party* p : order) p->run_timers();
    for (Party* p : order) p->after_pass();
    if (!relay_.to_network.empty() || !relay_.to_user.empty()) continue;
    long long wait_us = 100000;
    for (Party* p : order) {
      const long long us = p->next_timer_us();
      if (us >= 0) wait_us = std::min(wait_us, us);
    }
    // A timer already due runs in the next pass; the loop takes a wait of
    // 0 ms for none at all.
    if (wait_us == 0) continue;
    tick_.set(static_cast<unsigned>((wait_us + 999) / 1000), +[] {});
    LoopTest::runOnce();
  }
  tick_.reset();
  return true;
}

}  // namespace PeerCall
