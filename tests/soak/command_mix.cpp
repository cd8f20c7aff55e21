#include "tests/soak/command_mix.h"

#include <stdlib.h>
#include <string.h>

#include "tests/support/bytes.h"

namespace Soak {

namespace {

LGCP::Message Numbered(int& seq, long slot) {
  LGCP::Message message;
  message.set_seq(seq++);
  if (slot >= 0) message.set_slot(static_cast<unsigned>(slot));
  return message;
}

}  // namespace

LGCP::Message CommandMix::Make(long slot) { return Numbered(seq_, slot); }

size_t CommandMix::NextRound(std::vector<LGCP::Message>& out) {
  const size_t before = out.size();
  const unsigned r = round_++;
  // Two slot numbers that walk the whole table, the first E1 trunk and
  // timeslot walking all four trunks, and the second trunk one further.
  const unsigned a = (2 * r) % 1024, b = (2 * r + 1) % 1024;
  const int trunk = static_cast<int>(r % 4), timeslot = static_cast<int>((r / 4) % 32);
  const bool bToMap = random_() % 2 == 0;
  const bool both = random_() % 2 == 0;
  const bool disconnect = random_() % 3 != 0;
  const bool destroyAFirst = random_() % 2 == 0;

  LGCP::Message createA = Make(a);
  LGCP::TrunkParams& params = createA.set_pdu().select_command().select_create().select_trunk();
  params.set_trunk(trunk);
  params.set_timeslot(timeslot);
  out.push_back(createA);

  LGCP::Message createB = Make(b);
  LGCP::CreateParams& create = createB.set_pdu().select_command().select_create();
  if (bToMap) {
    // Bus channels walk all 16 buses of 128 channels.
    const unsigned channel = (r * 2) % 2048;
    LGCP::MapParams& map = create.select_map();
    LGCP::SharedChannel& tx = map.set_transmitter();
    tx.set_bus(static_cast<int>(channel / 128));
    tx.set_channel(static_cast<int>(channel % 128));
    LGCP::SharedChannel& rx = map.set_receiver();
    rx.set_bus(static_cast<int>((channel + 1) / 128));
    rx.set_channel(static_cast<int>((channel + 1) % 128));
  } else {
    LGCP::TrunkParams& other = create.select_trunk();
    other.set_trunk((trunk + 1) % 4);
    other.set_timeslot(timeslot);
  }
  out.push_back(createB);

  LGCP::Message connect = Make(a);
  connect.set_pdu().select_command().select_connect(b);
  out.push_back(connect);
  if (both) {
    LGCP::Message back = Make(b);
    back.set_pdu().select_command().select_connect(a);
    out.push_back(back);
  }
  out.push_back(Ping(seq_));
  LGCP::Message query = Make(-1);
  query.set_pdu().select_command().select_query();
  out.push_back(query);
  if (disconnect) {
    LGCP::Message off = Make(b);
    off.set_pdu().select_command().select_disconnect();
    out.push_back(off);
    if (both) {
      LGCP::Message offA = Make(a);
      offA.set_pdu().select_command().select_disconnect();
      out.push_back(offA);
    }
  }
  out.push_back(Destroy(seq_, destroyAFirst ? a : b));
  out.push_back(Destroy(seq_, destroyAFirst ? b : a));
  return out.size() - before;
}

LGCP::Message Ping(int& seq) {
  LGCP::Message message = Numbered(seq, -1);
  message.set_pdu().select_command().select_ping();
  return message;
}

LGCP::Message Destroy(int& seq, unsigned slot) {
  LGCP::Message message = Numbered(seq, slot);
  message.set_pdu().select_command().select_destroy();
  return message;
}

std::string Frame(const LGCP::Message& message) {
  std::vector<char> body;
  if (!Lgcp::Encode(message, body)) return std::string();
  const std::vector<char> frame = TestBytes::TpktFrame(body);
  return std::string(frame.begin(), frame.end());
}

Scale CurrentScale() {
  const char* scale = getenv("GW_SOAK_SCALE");
  if (scale && strcmp(scale, "long") == 0) return Scale{true, 1000000, 500, 9500, 100000};
  return Scale{false, 20000, 8, 200, 10000};
}

}  // namespace Soak
