// Debian's libpri, an independent Q.921/Q.931 stack, as one party of a
// PeerCall::Call: network or user side, primary or basic rate (a basic rate
// runs point-to-multipoint, its network side managing the TEIs, or
// point-to-point on TEI 0 with no TEI management).
//
// libpri writes every frame with 2 FCS octets after it and strips 2 from
// every frame it reads; this party takes them off and puts them on. It reads
// the time of day for its timers, and this binary answers that from the
// virtual clock while one exists (libpri_party.cpp), so a run takes no real
// waiting and replays exactly for its seed.
//
// Its link's reports: the MDL-ERROR letters of its Q.921 state trace, and
// each D-channel down or up after the first up.
#pragma once

#include <string>
#include <vector>

extern "C" {
#include <libpri.h>
}

#include "foundation/fd.h"
#include "tests/signalling/peer/peer_call.h"

namespace PeerCall {

class LibpriParty : public Party {
 public:
  static constexpr unsigned libpri_t200_ms = 1000;
  // `t200_ms` 0 keeps libpri's own T200 (libpri_t200_ms, as ours); `ptp`
  // makes a basic rate point-to-point.
  // REQUIRES: a VirtualClock exists; `relay` outlives this party.
  LibpriParty(Relay& relay, bool network, bool bri, unsigned t200_ms, bool ptp = false);
  // libpri has no way to free a link: its allocations live until exit.
  ~LibpriParty() override = default;
  LibpriParty(const LibpriParty&) = delete;
  LibpriParty& operator=(const LibpriParty&) = delete;

  bool up() const override { return up_; }
  void take_frames() override;
  void run_timers() override;
  long long next_timer_us() const override;
  void setup() override;
  void send_digit(char digit) override;

  // The call progress its user side reported, in order.
  const std::vector<std::string>& progress() const { return progress_; }

 private:
  static int read_frame(struct pri* pri, void* buf, int buflen);
  static int write_frame(struct pri* pri, void* buf, int buflen);
  static void on_pri_message(struct pri* pri, char* text);
  void handle(pri_event* e);

  Relay& relay_;
  const bool network_;
  Fd null_;  // libpri wants a descriptor, though it reads through us
  struct pri* pri_ = nullptr;
  q931_call* call_ = nullptr;
  bool up_ = false, was_up_ = false;
  std::vector<std::string> progress_;
};

}  // namespace PeerCall
