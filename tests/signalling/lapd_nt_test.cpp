// The basic-rate network side against a fake line, on the virtual clock.
// Terminal commands reach it with C/R 0 (00 81 ... for TEI 64), responses
// with C/R 1; it sends commands as 02 81 and responses as 00 81.
#include "tests/signalling/lapd_harness.h"

namespace {

using LapdTest::Log;
using ISDN::NtEntryState;

const char check_request[] = "tx FE FF 03 0F 00 00 04 FF";

class LapdNetworkBri : public LapdTest::NetworkBri {
 protected:
  // Activates and assigns TEI 64 to a terminal whose last call reference is 1.
  void terminal64() {
    upper_.activate();
    rx("FC FF 03 0F 34 12 01 FF");
    rx("00 81 00 00 08 01 01 05");  // SETUP, call reference 1, P=0
    take();
  }
};

TEST_F(LapdNetworkBri, TeiManagementTranscript) {
  upper_.activate();                 // audit at once
  rx("FC FF 03 0F 34 12 01 FF");     // Identity request: TEI 64, SABME
  rx("FC FF 03 0F 78 56 01 FF");     // a second terminal: TEI 65
  rx("FC FF 03 0F 00 01 01 50");     // asks for TEI 40: ignored
  rx("FC FF 03 0F 00 02 01 90");     // asks for TEI 72: denied
  rx("00 8D 7F");                    // a frame from TEI 70 that nobody holds
  rx("FC FF 03 0F 00 00 07 FF");     // Identity verify: an audit now
  rx("FC FF 03 0F 34 12 05 81");     // TEI 64 answers in time
  run(2000);                         // 65 and 70 do not: unassigned
  rx("00 83 01 00");                 // so TEI 65 is taken afresh
  rx("FC FF 03 0F 34 12 05 81");     // the same answer again, outside a check: ignored
  rx("FC FF 03 0F 99 99 05 81");     // another Ri for TEI 64: two terminals, removed
  LapdTest::expect_golden(__FILE__, "lapd_nt_tei.golden", take());
  EXPECT_EQ(NtEntryState::unassigned, nt_->entry(0).state());
  EXPECT_EQ(NtEntryState::unassigned, nt_->entry(2).state());
}

TEST_F(LapdNetworkBri, AuditRepeatsEveryMinute) {
  upper_.activate();
  run(60000);
  unsigned audits = 0;
  for (const std::string& line : log_) audits += line == check_request;
  EXPECT_EQ(2u, audits);
}

TEST_F(LapdNetworkBri, NinthTerminalIsRemovedTwice) {
  upper_.activate();
  for (const char* tei : {"03", "05", "07", "09", "0B", "0D", "0F", "11"}) rx(std::string("00 ") + tei + " 01 00");
  take();
  rx("00 B1 01 00");  // TEI 88
  EXPECT_EQ((Log{"rx 00 B1 01 00", "tx FE FF 03 0F 00 00 06 B1", "tx FE FF 03 0F 00 00 06 B1"}), take());
}

// Found by the fuzz target: a management frame with no information field.
TEST_F(LapdNetworkBri, ManagementFrameWithoutInformationIsIgnored) {
  rx("FC FF 03");
  EXPECT_EQ((Log{"rx FC FF 03"}), take());
}

TEST_F(LapdNetworkBri, SetupIsBroadcastAndAnswersFollowTheCallReference) {
  terminal64();
  send("08 01 02 05");  // SETUP from layer 3
  send("08 01 81 07");  // CONNECT for call reference 1 (flag set): to TEI 64
  send("08 01 03 07");  // call reference 3: nobody, dropped
  EXPECT_EQ((Log{"tx 02 FF 03 08 01 02 05", "tx 02 81 00 03 08 01 81 07"}), take());
}

TEST_F(LapdNetworkBri, EighthOutstandingFrameWaitsForAnAcknowledgement) {
  terminal64();
  for (int i = 0; i < 9; ++i) send("08 01 81 7B 0" + std::to_string(i));  // INFORMATION
  EXPECT_EQ(7u, take().size());
  EXPECT_EQ(2u, nt_->entry(0).queued());
  rx("02 81 01 04");  // RR response N(R)=2
  EXPECT_EQ((Log{"rx 02 81 01 04", "tx 02 81 0E 03 08 01 81 7B 07", "tx 02 81 10 03 08 01 81 7B 08"}), take());
  run(1000);  // nothing acknowledged since: 2..8 again, as first sent
  Log again = take();
  ASSERT_EQ(8u, again.size());
  EXPECT_EQ("tx 02 81 04 03 08 01 81 7B 02", again[1]);
  EXPECT_EQ("tx 02 81 10 03 08 01 81 7B 08", again[7]);
}

TEST_F(LapdNetworkBri, AcknowledgementBeyondWhatWasSentUnassigns) {
  terminal64();
  send("08 01 81 07");
  rx("02 81 01 06");  // N(R)=3 with one frame sent
  EXPECT_EQ(NtEntryState::unassigned, nt_->entry(0).state());
}

TEST_F(LapdNetworkBri, SupervisionPollsThenUnassignsAfterN200) {
  terminal64();
  run(10000);
  run(4000);
  EXPECT_EQ((Log{"+10000", "tx 02 81 01 03", "+4000", "tx 02 81 01 03", "tx 02 81 01 03", "tx 02 81 01 03"}),
            take());
  EXPECT_EQ(NtEntryState::unassigned, nt_->entry(0).state());
}

}  // namespace
