#include "tests/signalling/peer/libpri_party.h"

#include <fcntl.h>
#include <sys/time.h>
#include <time.h>

#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

// libpri has no way to free a link: its allocations live until exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libpri\n"; }

// Every caller in this process, libpri included, reads the virtual clock
// while one exists (as microseconds since the epoch), the real one otherwise.
extern "C" int gettimeofday(struct timeval* __restrict tv, void* __restrict) __THROW {
  if (const VirtualClock* clock = VirtualClock::current()) {
    tv->tv_sec = static_cast<time_t>(clock->nowUs() / 1000000u);
    tv->tv_usec = static_cast<suseconds_t>(clock->nowUs() % 1000000u);
    return 0;
  }
  timespec ts;
  ::clock_gettime(CLOCK_REALTIME, &ts);
  tv->tv_sec = ts.tv_sec;
  tv->tv_usec = static_cast<suseconds_t>(ts.tv_nsec / 1000);
  return 0;
}

namespace PeerCall {

namespace {

void quiet(struct pri*, char*) {}

// The party whose call into libpri is running: libpri's messages name a link
// of its own (one per TEI on a basic rate), not the one the party made.
LibpriParty* speaking = nullptr;

struct Speaking {
  explicit Speaking(LibpriParty* party) : before(speaking) { speaking = party; }
  ~Speaking() { speaking = before; }
  LibpriParty* before;
};

}  // namespace

LibpriParty::LibpriParty(Relay& relay, bool network, bool bri, unsigned t200_ms, bool ptp)
    : Party(t200_ms ? t200_ms : libpri_t200_ms), relay_(relay), network_(network), null_(::open("/dev/null", O_RDWR)) {
  pri_set_message(on_pri_message);
  pri_set_error(quiet);
  const Speaking speaking_now(this);
  const int node = network ? PRI_NETWORK : PRI_CPE, fd = null_.lowlevel_fd();
  pri_ = bri ? pri_new_bri_cb(fd, ptp ? 1 : 0, node, PRI_SWITCH_EUROISDN_E1, read_frame, write_frame, this)
             : pri_new_cb(fd, node, PRI_SWITCH_EUROISDN_E1, read_frame, write_frame, this);
  if (!pri_) {
    ADD_FAILURE() << "libpri made no link";
    return;
  }
  if (t200_ms) pri_set_timer(pri_, PRI_TIMER_T200, static_cast<int>(t200_ms));
  // The state trace carries the MDL-ERROR reports.
  pri_set_debug(pri_, PRI_DEBUG_Q921_STATE);
}

int LibpriParty::read_frame(struct pri* pri, void* buf, int buflen) {
  LibpriParty* self = static_cast<LibpriParty*>(pri_get_userdata(pri));
  std::deque<Bytes>& queue = self->network_ ? self->relay_.to_network : self->relay_.to_user;
  if (queue.empty()) return -1;
  Bytes f = queue.front();
  queue.pop_front();
  f.insert(f.end(), 2, 0);  // the FCS that libpri expects and strips unread
  if (static_cast<int>(f.size()) > buflen) return -1;
  std::memcpy(buf, f.data(), f.size());
  return static_cast<int>(f.size());
}

int LibpriParty::write_frame(struct pri* pri, void* buf, int buflen) {
  LibpriParty* self = static_cast<LibpriParty*>(pri_get_userdata(pri));
  const std::uint8_t* b = static_cast<const std::uint8_t*>(buf);
  if (buflen > 2) self->relay_.send(Bytes(b, b + buflen - 2), self->network_);
  return buflen;
}

// "TEI=64 MDL-ERROR (I): T200 expired N200 times ...": the letter. F, G and
// I mark a re-establishment (the peer's, or its own after N200 tries), which
// libpri tells its layer 3 on a primary rate only (D channel down and up).
void LibpriParty::on_pri_message(struct pri*, char* text) {
  const char* error = std::strstr(text, "MDL-ERROR (");
  if (!speaking || !error || !error[11]) return;
  speaking->note_error(error[11]);
  if (std::strchr("FGI", error[11])) speaking->note_reset();
}

void LibpriParty::handle(pri_event* e) {
  switch (e ? e->e : -1) {
    case PRI_EVENT_DCHAN_UP:
      if (was_up_) note_reset();
      up_ = was_up_ = true;
      break;
    case PRI_EVENT_DCHAN_DOWN:
      if (was_up_) note_reset();
      up_ = false;
      break;
    case PRI_EVENT_RING:  // proceeding, alerting, connect
      note_got('S');
      call_ = e->ring.call;
      pri_proceeding(pri_, call_, e->ring.channel, 0), note_sent('P');
      pri_acknowledge(pri_, call_, e->ring.channel, 0), note_sent('A');
      pri_answer(pri_, call_, e->ring.channel, 0), note_sent('C');
      break;
    case PRI_EVENT_PROCEEDING: progress_.push_back("proceeding"), note_got('P'); break;
    case PRI_EVENT_RINGING: progress_.push_back("ringing"), note_got('A'); break;
    case PRI_EVENT_ANSWER: progress_.push_back("answer"), note_got('C'); break;
    case PRI_EVENT_KEYPAD_DIGIT:
      for (const char* d = e->digit.digits; *d; ++d) note_got(*d);
      break;
    default: break;
  }
}

void LibpriParty::take_frames() {
  const Speaking speaking_now(this);
  std::deque<Bytes>& queue = network_ ? relay_.to_network : relay_.to_user;
  while (pri_ && !queue.empty()) handle(pri_check_event(pri_));
}

void LibpriParty::run_timers() {
  if (!pri_) return;
  const Speaking speaking_now(this);
  timeval now;
  gettimeofday(&now, nullptr);
  const timeval* next = pri_schedule_next(pri_);
  if (next && !timercmp(next, &now, >)) handle(pri_schedule_run(pri_));
}

long long LibpriParty::next_timer_us() const {
  const timeval* next = pri_ ? pri_schedule_next(pri_) : nullptr;
  if (!next) return -1;
  timeval now;
  gettimeofday(&now, nullptr);
  return std::max(0ll, (next->tv_sec - now.tv_sec) * 1000000ll + (next->tv_usec - now.tv_usec));
}

void LibpriParty::setup() {
  if (!pri_) return;
  const Speaking speaking_now(this);
  call_ = pri_new_call(pri_);
  pri_sr* sr = pri_sr_new();
  char called[] = "123";
  pri_sr_set_channel(sr, 1, 1, 0), pri_sr_set_bearer(sr, PRI_TRANS_CAP_SPEECH, PRI_LAYER_1_ALAW);
  pri_sr_set_called(sr, called, 0, 1), pri_setup(pri_, call_, sr), pri_sr_free(sr);
  note_sent('S');
}

void LibpriParty::send_digit(char digit) {
  if (!pri_ || !call_) return;
  const Speaking speaking_now(this);
  const char digits[2] = {digit, 0};
  pri_keypad_facility(pri_, call_, digits);
  note_sent(digit);
}

}  // namespace PeerCall
