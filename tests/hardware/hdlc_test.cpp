// The HDLC controller channel on the simulated "/dev/mcc/ctl": allocation per
// mode, the cross-connect routes, frames to and from a trunk timeslot's line
// side, flow control, failures and the read-error rules.
#include "hardware/hdlc.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "board/sim/hal.h"
#include "board/sim/mcc.h"
#include "tests/hardware/board_pump.h"
#include "tests/hardware/service_fixture.h"

namespace {

using BoardSim::mcc;
using namespace HardwareTest;

struct Client : HDLC::Notify {
  void on_hdlc_receive(Packet& frame) override {
    frames.push_back(std::string(reinterpret_cast<const char*>(frame.data()), frame.length()));
    if (closeOnReceive) channel->deactivate();
  }
  void on_hdlc_error(Cause::Type cause) override {
    errors.push_back(cause);
    openInsideError = channel->is_open();
  }
  void on_hdlc_ready() override { ++ready; }

  HDLC* channel = nullptr;
  std::vector<std::string> frames;
  std::vector<int> errors;
  int ready = 0;
  bool openInsideError = true;
  bool closeOnReceive = false;
};

Packet Frame(const std::string& bytes) {
  Packet p;
  p.reserve_head(0);
  std::copy(bytes.begin(), bytes.end(), p.put(static_cast<unsigned>(bytes.size())));
  return p;
}

class HdlcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mcc().reset();
    mcc().clearFailures();
    mcc().setPresent(true);
    client.channel = &channel;
    channel.bind(&client);
  }
  void TearDown() override { mcc().reset(); }

  bool Activate(int tdm, unsigned mode = HDLC::kModeStandard, int txTdm = -1) {
    channel.params({1, 5, tdm, txTdm, mode});
    channel.trunk(1);
    return channel.activate();
  }
  const BoardSim::Mcc::Channel* Model() const {
    return mcc().channel(mcc().channelOfNumber(channel.channelNumber()));
  }

  VirtualClock clock_;
  HardwareTest::BoardPump pump_;
  Client client;
  HDLC channel;
};

TEST_F(HdlcTest, AllocationBlockAndRoutesFollowTheMode) {
  struct Case {
    unsigned mode;
    int tdm, txTdm;
    uint32_t type;
    int transmitInto;
  } cases[] = {{HDLC::kModeSs7, 37, -1, 3, 37}, {HDLC::kModeStandard, 16, -1, 0, 16}, {HDLC::kModeBriD, 6, 7, 1, 7}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    ASSERT_TRUE(Activate(c.tdm, c.mode, c.txTdm));
    const BoardSim::Mcc::Channel* model = Model();
    ASSERT_NE(nullptr, model);
    const mcc_allocate_params& p = model->params;
    EXPECT_EQ(std::vector<uint32_t>({c.type, 512, 0, 1, 4}),
              std::vector<uint32_t>({p.type, p.rx_packet_size, p.reserved, p.rx_threshold, p.tx_threshold}));
    const BoardSim::Hal& hal = BoardSim::hal();
    EXPECT_EQ(channel.channelNumber(), hal.state(c.transmitInto).source);
    EXPECT_EQ(c.tdm, hal.state(channel.channelNumber()).source);
  }
  Capture err(std::cerr);
  EXPECT_FALSE(Activate(3, 7));  // no such mode: refused before the device is touched
  EXPECT_EQ("hdlc [1/5]: bad mode 7\n", err.text());
}

TEST_F(HdlcTest, FramesCrossBetweenTheLineSideAndTheChannel) {
  int line = mcc().attachLine(37);
  ASSERT_GE(line, 0);
  ASSERT_TRUE(Activate(37));
  ASSERT_EQ(5, ::send(line, "\x02\x01\x7F\x00\xAA", 5, 0));
  ASSERT_TRUE(LoopTest::runUntil([&] { return !client.frames.empty(); }, 100));
  EXPECT_EQ(std::string("\x02\x01\x7F\x00\xAA", 5), client.frames[0]);
  EXPECT_EQ(1u, channel.statistics().rxSU);

  Packet reply = Frame(std::string("\x00\x01\x73", 3));  // and back
  ASSERT_TRUE(channel.hdlc_transmit(reply));
  EXPECT_EQ(1u, channel.statistics().txSU);
  char buffer[64];
  ASSERT_TRUE(LoopTest::runUntil([&] {
    struct pollfd p = {line, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
  }, 100));
  ASSERT_EQ(3, ::recv(line, buffer, sizeof buffer, 0));
  EXPECT_EQ(std::string("\x00\x01\x73", 3), std::string(buffer, 3));
  ::close(line);
}

TEST_F(HdlcTest, TwoWaitingFramesNeedTwoReadinessEvents) {
  ASSERT_TRUE(Activate(40));
  int device = mcc().channelOfNumber(channel.channelNumber());
  ASSERT_TRUE(mcc().deliver(device, "A", 1));
  ASSERT_TRUE(mcc().deliver(device, "BC", 2));
  LoopTest::runOnce();
  EXPECT_EQ(std::vector<std::string>({"A"}), client.frames);
  LoopTest::runOnce();
  EXPECT_EQ(std::vector<std::string>({"A", "BC"}), client.frames);
  // A client that closes the channel on a frame is not told it is ready.
  ASSERT_TRUE(Activate(40));
  int ready = client.ready;
  client.closeOnReceive = true;
  ASSERT_TRUE(mcc().deliver(mcc().channelOfNumber(channel.channelNumber()), "Z", 1));
  LoopTest::runOnce();
  EXPECT_EQ(ready, client.ready);
  EXPECT_FALSE(channel.is_open());
}

TEST_F(HdlcTest, FullQueueRefusesUntilExactlyOneReadyNotification) {
  ASSERT_TRUE(Activate(41));
  LoopTest::runOnce();
  ASSERT_EQ(1, client.ready);
  ASSERT_TRUE(channel.is_ready());
  // Nothing drains the queue while the loop stands still.
  Packet frame = Frame(std::string(200, '\x55'));
  int written = 0;
  while (channel.hdlc_transmit(frame) && written < 100000) ++written;
  ASSERT_LT(written, 100000);
  EXPECT_FALSE(channel.is_ready());
  EXPECT_EQ(static_cast<uint32_t>(written), channel.statistics().txSU);
  EXPECT_EQ(0u, channel.statistics().txError);
  ASSERT_TRUE(LoopTest::runFor(50));
  EXPECT_EQ(2, client.ready);
  EXPECT_TRUE(channel.is_ready());
}

TEST_F(HdlcTest, CountersAndRefusals) {
  Packet empty, frame = Frame("x");
  EXPECT_TRUE(channel.hdlc_transmit(empty));
  EXPECT_FALSE(channel.hdlc_transmit(frame));
  EXPECT_EQ(1u, channel.statistics().txDiscard);
  EXPECT_EQ(0u, channel.statistics().txSU);

  ASSERT_TRUE(Activate(42));
  EXPECT_EQ(0u, channel.statistics().txDiscard);  // activation zeroes them
  mcc().failWrites(EIO, 1);
  EXPECT_FALSE(channel.hdlc_transmit(frame));
  EXPECT_EQ(1u, channel.statistics().txError);
  EXPECT_TRUE(channel.hdlc_transmit(frame));
  EXPECT_EQ(1u, channel.statistics().txSU);
}

TEST_F(HdlcTest, ActivationFailuresAreLoggedAndLeaveTheChannelClosed) {
  struct Case {
    unsigned long request;  // 0: the device is absent
    std::string message;
  } cases[] = {
      {0, "hdlc [1/5]: fail to open MCC device: No such file or directory\n"},
      {MccRequest::kAllocate, "hdlc [1/5]: MCC_ALLOCATE fail: Device or resource busy\n"},
      {MccRequest::kTimeslot, "hdlc [1/5]: MCC_TIMESLOT fail: Device or resource busy\n"},
  };
  for (const Case& c : cases) {
    c.request ? mcc().failRequest(c.request, EBUSY, 1) : mcc().setPresent(false);
    Capture err(std::cerr);
    EXPECT_FALSE(Activate(43));
    EXPECT_EQ(c.message, err.text());
    EXPECT_FALSE(channel.is_open());
    mcc().setPresent(true);
  }
}

// Mended: a read that fails closes the channel before the client hears of it,
// and the writable step of the same wake-up does not run on the closed channel.
TEST_F(HdlcTest, HangUpIsAReadErrorAndSkipsTheWritableStep) {
  ASSERT_TRUE(Activate(44));
  int device = mcc().channelOfNumber(channel.channelNumber());
  ::shutdown(BoardSim::Registry::instance().modelEnd(device), SHUT_RDWR);
  Capture err(std::cerr);
  LoopTest::runOnce();
  EXPECT_EQ(std::vector<int>({HDLC::Notify::Cause::readFail}), client.errors);
  EXPECT_FALSE(client.openInsideError);
  EXPECT_EQ(0, client.ready);
  EXPECT_EQ("hdlc [1/5]: read error: end of data\n", err.text());
  LoopTest::runOnce();
  EXPECT_EQ(1u, client.errors.size());
}

}  // namespace
