// The user-side link (and network side of a primary-rate link) against a
// fake channel, on the virtual clock. User side, TEI 0: its commands begin
// 00 01, its responses 02 01; the network's commands 02 01, responses 00 01.
#include <sstream>

#include "tests/signalling/lapd_harness.h"

namespace {

using LapdTest::Log;
using State = ISDN::LapdState;

class LapdUser : public LapdTest::UserLink {};

// Establishment, the k = 7 window, REJ recovery, acknowledgement of received
// I frames, T203 and timer recovery, as one exchange checked whole.
TEST_F(LapdUser, LongExchangeMatchesItsTranscript) {
  upper_.activate();
  rx("00 01 73");  // UA F=1
  for (int i = 0; i < 9; ++i) send("08 01 01 " + std::to_string(10 + i));
  rx("00 01 01 06");  // RR N(R)=3: two more fit the window
  rx("00 01 09 0A");  // REJ N(R)=5: 5..8 again
  rx("00 01 01 12");  // RR N(R)=9: all acknowledged, T203 runs
  rx("02 01 00 13 08 01 81 02");  // I N(S)=0 N(R)=9 P=1: RR F=1 at once
  rx("02 01 02 12 08 01 81 01");  // I N(S)=1 P=0: RR F=0 at the end of the event
  rx("02 01 06 12 08 01 81 07");  // I N(S)=3: out of sequence, one REJ
  rx("02 01 08 12 08 01 81 62");  // I N(S)=4: still out of sequence, no second REJ
  rx("02 01 04 13 08 01 81 03");  // I N(S)=2 P=1: in sequence again, RR F=1
  run(10000);         // T203: enquiry, timer recovery
  run(1000);          // T200: enquiry again
  rx("00 01 01 13");  // RR F=1 N(R)=9: back to established
  send("08 01 81 07");
  rx("02 01 06 15 08 01 81 07");  // I N(S)=3 N(R)=10 P=1 acknowledges it
  LapdTest::expect_golden(__FILE__, "lapd_user_exchange.golden", take());
  EXPECT_EQ(State::MultipleFrameEstablished, lapd_->get_state());
}

TEST_F(LapdUser, FourT200ExpiriesWhileEstablishingReleaseTheLink) {
  upper_.activate();
  run(4000);
  EXPECT_EQ((Log{"tx 00 01 7F", "+4000", "tx 00 01 7F", "tx 00 01 7F", "tx 00 01 7F",
                 "status Unsuccessful retransmission (N200 times) - SABME",
                 "released link error (T200 expired N200 times)"}),
            take());
  EXPECT_EQ(State::TeiAssigned, lapd_->get_state());
}

TEST_F(LapdUser, UnansweredTimerRecoveryReestablishesAfterN200Enquiries) {
  establish();
  send("08 01 01 05");
  run(3999);
  EXPECT_EQ(State::TimerRecovery, lapd_->get_state());
  run(1);
  EXPECT_EQ((Log{"tx 00 01 00 00 08 01 01 05", "+3999", "tx 00 01 01 01", "tx 00 01 01 01", "tx 00 01 01 01",
                 "+1", "status Unsuccessful retransmission (N200 times) - Status enquiry", "tx 00 01 7F"}),
            take());
  EXPECT_EQ(State::AwaitingEstablishment, lapd_->get_state());
}

TEST_F(LapdUser, IdleLinkPollsAfterTenSeconds) {
  establish();
  run(9999);
  run(1);
  EXPECT_EQ((Log{"+9999", "+1", "tx 00 01 01 01"}), take());
  EXPECT_EQ(State::TimerRecovery, lapd_->get_state());
  EXPECT_EQ(1u, lapd_->stats().T203);
}

struct FlowCounter : ISDN::LAPD::Notify {
  void OnLAPD_FlowStatusChange(ISDN::LAPD* lapd) override { changes.push_back(lapd->GetFlowStatus()); }
  std::vector<unsigned> changes;
};

TEST_F(LapdUser, QueueCongestsAbove88AndRecoversAt64) {
  FlowCounter flow;
  lapd_->BindNotify(&flow);
  establish();
  rx("00 01 05 00");  // RNR: the peer is busy, everything waits
  for (int i = 0; i < 129; ++i) send("08 01 01 01");
  EXPECT_EQ(128u, lapd_->out_count());
  EXPECT_EQ(1u, lapd_->stats().out_overflows);
  EXPECT_EQ(std::vector<unsigned>{1}, flow.changes);

  rx("00 01 01 00");  // RR: not busy any more, a window goes out
  unsigned nr = 0;
  while (lapd_->out_count() >= ISDN::LAPD::congestion_off) {
    ASSERT_EQ(1u, flow.changes.size()) << lapd_->out_count();
    nr += 7;
    std::ostringstream rr;
    rr << "00 01 01 " << std::hex << ((nr & 127) << 1);
    rx(rr.str());
  }
  EXPECT_EQ((std::vector<unsigned>{1, 0}), flow.changes);
  EXPECT_EQ(58u, lapd_->out_count());  // 121 after the first window, 7 per acknowledgement
}

// Mended: frames queued before establishment move only on a request, and
// with a full queue every request was refused.
TEST_F(LapdUser, RefusedRequestStillSendsWhatWasQueued) {
  for (int i = 0; i < 128; ++i) send("08 01 01 01");
  establish();
  send("08 01 01 02");
  EXPECT_EQ(1u, lapd_->stats().out_overflows);
  EXPECT_EQ(7u, lapd_->ack_count());  // a window went out all the same
  EXPECT_EQ(121u, lapd_->out_count());
}

TEST_F(LapdUser, GetInfoAnswersTrueOnlyWhenTheRecordChanged) {
  ISDN::LAPD::Info info;
  EXPECT_TRUE(lapd_->GetInfo(info));
  EXPECT_FALSE(lapd_->GetInfo(info));
  establish();
  EXPECT_TRUE(lapd_->GetInfo(info));
  EXPECT_EQ(State::MultipleFrameEstablished, info.lapdState);
  EXPECT_TRUE(info.t203run);
  EXPECT_FALSE(lapd_->GetInfo(info));
  send("08 01 01 01");
  EXPECT_TRUE(lapd_->GetInfo(info));
  EXPECT_EQ(1u, info.vs);
  EXPECT_EQ(1u, info.queueAck);
  EXPECT_EQ(1u, info.msuTxCount);
}

TEST_F(LapdUser, PeerReestablishmentKeepsQueuedFramesAndReportsIt) {
  establish();
  for (int i = 0; i < 8; ++i) send("08 01 01 01");
  take();
  rx("02 01 7F");  // SABME P=1
  // The seven unacknowledged frames are gone; the waiting one goes as N(S) 0.
  EXPECT_EQ((Log{"rx 02 01 7F", "tx 02 01 73", "status Peer initiated re-establishment - SABME", "activated",
                 "tx 00 01 00 00 08 01 01 01"}),
            take());
  EXPECT_EQ(1u, lapd_->ack_count());
}

// Faults mended: each case fails on the link as first written.

TEST_F(LapdUser, ShortIAndSFramesAreDiscarded) {
  establish();
  rx("02 01 00");  // an I frame with no N(R) octet
  rx("02 01 01");  // an S frame with no N(R) octet
  rx("02 01");     // address only
  EXPECT_EQ((Log{"rx 02 01 00", "rx 02 01 01", "rx 02 01"}), take());
  EXPECT_EQ(0u, lapd_->stats().rx_frames);
}

TEST_F(LapdUser, UnsolicitedUaWhileEstablishedOnlyReportsTheError) {
  establish();
  send("08 01 01 01");
  send("08 01 01 02");
  rx("00 01 73");
  rx("00 01 01 04");  // RR N(R)=2 still acknowledges both frames
  EXPECT_EQ((Log{"tx 00 01 00 00 08 01 01 01", "tx 00 01 02 00 08 01 01 02", "rx 00 01 73",
                 "status UA (F = 1)", "rx 00 01 01 04"}),
            take());
  EXPECT_EQ(0u, lapd_->ack_count());
  EXPECT_EQ(State::MultipleFrameEstablished, lapd_->get_state());
}

class LapdBriUser : public LapdTest::UserLink {
 protected:
  LapdBriUser() { lapd_->change_to_bri(); }
  unsigned identity_requests() const {
    unsigned n = 0;
    for (const std::string& l : log_) n += l.compare(0, 15, "tx FC FF 03 0F ") == 0 && l.substr(21, 5) == "01 FF";
    return n;
  }
};

TEST_F(LapdBriUser, TeiAssignmentGivesUpAfterFiveRequests) {
  rx("FE FF 03 0F 00 00 06 FF");  // remove all TEIs
  run(10000);
  EXPECT_EQ(5u, identity_requests());
  EXPECT_EQ("released link error (T202 expired N202 times)", log_.back());
  EXPECT_EQ(State::TeiUnassigned, lapd_->get_state());
}

TEST_F(LapdBriUser, DataWithNoTeiStartsTheAssignment) {
  rx("FE FF 03 0F 00 00 06 FF");
  run(10000);
  take();
  send("08 01 01 01");
  EXPECT_EQ(1u, identity_requests());
  EXPECT_EQ(State::AssignAwaitingTei, lapd_->get_state());
}

TEST_F(LapdBriUser, SecondIdentityRemoveIsIgnored) {
  rx("FE FF 03 0F 00 00 06 01");  // remove TEI 0, sent twice by networks
  rx("FE FF 03 0F 00 00 06 01");
  EXPECT_EQ(1u, identity_requests());
  // The request's Ri comes back with the assigned TEI 64; the link comes up.
  const std::string ri = log_[1].substr(15, 5);
  upper_.activate();
  rx("FE FF 03 0F " + ri + " 02 81");
  rx("00 81 73");
  EXPECT_EQ("activated", log_.back());
  EXPECT_EQ(64u, lapd_->self_tei_value());
  rx("02 83 00 01 08 01 01 07");  // another terminal's TEI: not ours
  EXPECT_EQ("rx 02 83 00 01 08 01 01 07", log_.back());
}

TEST_F(LapdUser, TwoOctetFrameIsLoggedWithItsOwnText) {
  lapd_->set_log(3);
  std::ostringstream captured;
  std::streambuf* old = std::clog.rdbuf(captured.rdbuf());
  rx("02 01 7F");
  captured.str("");
  rx("02 01");
  std::clog.rdbuf(old);
  EXPECT_EQ("LAPD[0] (Multiple frame established): rx: 02 01\nframe too short\n\n", captured.str());
}

}  // namespace
