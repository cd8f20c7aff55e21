#include "bench/codec_messages.h"

#include "messages/acp/ACP.h"

namespace Bench {
namespace {

LGCP::Message Ping() {
  LGCP::Message m;
  m.set_pdu().select_command().select_ping();
  return m;
}

LGCP::Message CreateMap() {
  LGCP::Message m;
  m.set_seq(4711);
  m.set_slot(100);
  LGCP::MapParams& map = m.set_pdu().select_command().select_create().select_map();
  LGCP::SharedChannel& tx = map.set_transmitter();
  tx.set_bus(3);
  tx.set_channel(17);
  LGCP::SharedChannel& rx = map.set_receiver();
  rx.set_bus(12);
  rx.set_channel(100);
  return m;
}

LGCP::Message UserData200() {
  LGCP::Message m;
  m.set_seq(4712);
  m.set_slot(42);
  std::vector<char> octets(200);
  for (unsigned i = 0; i < octets.size(); ++i) octets[i] = static_cast<char>((i * 7 + 3) & 0xff);
  m.set_pdu().select_command().select_userData(octets);
  return m;
}

LGCP::Message TrunkStatus() {
  LGCP::Message m;
  ACP::TrunkStatus& s = m.set_pdu().select_signal().select_trunkStatus();
  s.set_trunk(2);
  s.set_state(ACP::TrunkState::lossBF);
  s.set_slips(3);
  s.set_lossBF(17);
  s.set_lossCarrier(1);
  s.set_lossAIS(0);
  s.set_lossRAI(2);
  s.set_name("E1-2");
  s.set_clockMaster(true);
  s.set_type(ACP::TrunkType::e1);
  return m;
}

LGCP::Message IsdnLinkInfo() {
  LGCP::Message m;
  m.set_slot(640);
  ACP::IsdnLinkInfo& i = m.set_pdu().select_signal().select_ioctl().select_isdnLinkInfo();
  i.set_side(ACP::IsdnSide::network);
  i.set_msuTxCount(123456);
  i.set_msuRxCount(654321);
  i.set_mT200(1000);
  i.set_mT203(10000);
  i.set_errors(4);
  i.set_retrains(1);
  i.set_rejected(2);
  i.set_badconfirm(0);
  i.set_outOverflows(0);
  i.set_ackOverflows(3);
  i.set_lapdState(ACP::LAPDState::multiple_frame_established);
  i.set_rc(0);
  i.set_peerBusy(false);
  i.set_ownBusy(false);
  i.set_rejException(false);
  i.set_ackPending(true);
  i.set_l3Initiated(true);
  i.set_establishable(true);
  i.set_queuedUpRQ(false);
  i.set_retrRQ(false);
  i.set_ackRQ(true);
  i.set_t200run(true);
  i.set_t203run(false);
  i.set_vs(57);
  i.set_va(55);
  i.set_vr(101);
  i.set_queueOut(2);
  i.set_queueAck(1);
  return m;
}

}  // namespace

std::vector<CodecMessage> CodecMessages() {
  return {{"ping", Ping()},
          {"createMap", CreateMap()},
          {"userData200", UserData200()},
          {"trunkStatus", TrunkStatus()},
          {"isdnLinkInfo", IsdnLinkInfo()}};
}

}  // namespace Bench
