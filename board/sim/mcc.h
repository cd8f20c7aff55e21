// "/dev/mcc/ctl" on the simulated board: the multi-channel HDLC controller,
// and the line side of the TDM channels its frames travel on.
//
// A controller channel is one open descriptor, allocated with the allocation
// block and then numbered in the cross-connect numbering (kFirstNumber and
// up, the lowest free number). Frames pass through the descriptor's socket,
// one per read() and one per write(), so the kernel gives the driver's flow
// control: a write that finds the transmit queue full fails with EAGAIN, and
// the descriptor polls writable again once the model has taken frames off it.
//
// The line side. A test attaches to the line side of a TDM channel (a trunk
// timeslot, a BRI channel) and gets a SOCK_SEQPACKET descriptor: a frame it
// writes there arrives on that timeslot from the line, a frame the board
// transmits into the timeslot comes out there. Two lines can be joined like a
// cable (joinLines), also across two boards: plugLine() takes the far end of
// another board's line as this line's peer. The model relays frames along the
// cross-connect of "/dev/hal": a frame arriving on channel s goes to every
// controller channel and every attached line whose channel is driven by s
// (directly or through shared-bus channels). A frame with nowhere to go is
// dropped and counted, as it would be on the wire. When a receiver cannot take
// a frame, its source is not read until it can: backpressure reaches the
// sender as EAGAIN. A test can also take a controller channel's far side
// itself (tapChannel, "line tap"), out of the relay.
//
// The relay is driven by readiness: the model's ends of channels and lines sit
// in an epoll descriptor of their own, which the pump watches, so a relay
// touches only the ends that have frames (or room again) and polls none of the
// others. The routes along the cross-connect are worked out again only when
// the cross-connect or the set of ends changed. A frame is read off its source
// and handed to every receiver that has room; a receiver without room holds
// it back, and its source is not read again until that receiver took it.
//
// The relay runs inside Board::service() (board/sim/pump.h); a test that runs
// no loop calls relay() or Board::service() itself.
#pragma once

#include <stddef.h>

#include <stdint.h>

#include <map>
#include <set>
#include <vector>

#include "board/abi/mcc.h"
#include "board/sim/sim_board.h"

namespace BoardSim {

class Mcc : public Device {
 public:
  static constexpr int kFirstNumber = 512;
  static constexpr int kLastNumber = 1023;

  struct Channel {
    int fd = -1;  // the model's end
    bool allocated = false;
    mcc_allocate_params params = {};
    int number = -1;  // cross-connect number once allocated
  };
  struct Counts {
    unsigned fromChannels = 0;  // frames written by controller channels
    unsigned fromLines = 0;     // frames that arrived from the line side
    unsigned delivered = 0;     // frames handed to a receiver (one per receiver)
    unsigned dropped = 0;       // frames nobody was switched to receive
  };

  Mcc();

  ~Mcc() override;
  int onOpen(int channel, int flags) override;
  void onClosed(int channel) override;
  int onIoctl(int channel, unsigned long request, void* arg) override;
  int onIoctlValue(int channel, unsigned long request, unsigned long value) override;
  bool passesFrames() const override { return true; }

  // The controller channel behind a device channel; null when unknown.
  const Channel* channel(int channel) const;
  // The device channel that holds a cross-connect number; -1 when none.
  int channelOfNumber(int number) const;
  // The cross-connect numbers of the allocated channels whose application
  // side is still open, in opening order.
  std::vector<int> numbers() const;

  // The test's end of a fresh line on TDM channel `tdm` (the caller owns it);
  // an earlier line there is dropped. -1 when `tdm` is negative.
  int attachLine(int tdm);
  // Takes `fd` (a SOCK_SEQPACKET socket; owned from now on) as the peer of the
  // line on `tdm`.
  bool plugLine(int tdm, int fd);
  // Joins the lines of two TDM channels like a cable.
  bool joinLines(int a, int b);
  void detachLine(int tdm);
  // The model's end of allocated controller channel `number` itself (a
  // duplicate the caller owns), as if a line came straight into the
  // controller: what the application writes on the channel comes out there,
  // and what is written there the application reads, one frame each. The
  // relay lets go of the channel. -1 with errno when no channel has it.
  int tapChannel(int number);
  bool lineAttached(int tdm) const { return lines_.count(tdm) != 0; }

  Counts counts() const { return counts_; }
  // Drops every line and zeroes the counts; channels stay.
  void reset();

  // Moves every frame that can move now.
  void relay();

 private:
  struct Endpoint {
    int number = -1;  // the TDM channel it stands on (-1: none yet)
    int channel = 0;  // device channel, or 0 for a line
    uint32_t interest = 0;
    // A frame read off this end that receivers without room still owe.
    std::vector<unsigned char> held;
    std::vector<int> owed;  // their ends
    int waiting = 0;        // frames of other ends this one still owes
  };
  void forgetClosed();
  int routedFrom(int number) const;
  void closeLine(int tdm);
  void addEnd(int fd, int number, int channel);
  void dropEnd(int fd);
  void updateRoutes();
  // Moves frames off `fd` until it is empty, blocked, or has had its share.
  void drain(int fd, bool hungUp, std::vector<int>& gone);
  // Hands `fd`'s held frame to those of its owed receivers that have room.
  void retryHeld(int fd);
  void deliverTo(int source, const unsigned char* frame, size_t size, const std::vector<int>& receivers);
  void setInterest(int fd);

  std::map<int, Channel> channels_;  // by device channel
  std::map<int, int> lines_;         // TDM channel -> model's end of the line
  std::map<int, Endpoint> ends_;     // by the model's end
  int epoll_ = -1;
  // Receivers by source number; rebuilt when the cross-connect or the ends
  // changed.
  std::map<int, std::vector<int>> routes_;
  bool routesStale_ = true;
  unsigned halGeneration_ = 0;
  Counts counts_;
};

Mcc& mcc();

}  // namespace BoardSim
