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
  line.push_back({frame, from_network});
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

std::string Party::digits() const {
  std::string d;
  for (char c : got_)
    if (c >= '0' && c <= '9') d += c;
  return d;
}

namespace {

// Checks what `to` got from `from`; appends to `why` and answers false on a
// fault, notes in `lost` what went missing.
bool check_direction(const Party& from, const Party& to, const std::string& from_name,
                     const std::string& to_name, std::string* lost, std::string* why) {
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
    const bool explained = std::any_of(resets.begin(), resets.end(),
                                       [&](unsigned long long ms) { return ms >= sent[i].ms; });
    if (!explained) {
      *why += "the " + from_name + " side's '" + sent[i].symbol + "' (sent at " +
              std::to_string(sent[i].ms) + " ms) was lost with no re-establishment reported after it; ";
      return false;
    }
    *lost += sent[i].symbol;
  }
  return true;
}

}  // namespace

Verdict judge(bool came_up, const Party& network, const Party& user, std::string* why) {
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
  sound = check_direction(network, user, "network", "user", &network_lost, why) && sound;
  sound = check_direction(user, network, "user", "network", &user_lost, why) && sound;
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
