// The HDLC channel under a link layer (LAPD, MTP level 2, a bare HDLC slot),
// and the link's side of it.
//
// Flags, bit stuffing and the check bits are the channel's work: a frame here
// is what lies between the flags, without the frame check sequence. A
// hardware channel, or a slot that is its own transmitter, implements
// HdlcChannel; the link above implements HdlcNotify.
//
// Both run on the loop thread. A channel may call its client back from inside
// hdlc_transmit() only through on_hdlc_ready(), never recursively with a
// received frame.
#pragma once

#include "net/packet.h"

// Transmit side.
class HdlcChannel {
 public:
  virtual ~HdlcChannel() = default;
  // True when the channel took the frame (or it was empty); false when it did
  // not (queue full, channel closed, write failed). After a refusal on an open
  // channel, on_hdlc_ready() follows once the channel can take frames again.
  virtual bool hdlc_transmit(Packet& frame) = 0;
};

// Receive side, implemented by the link above the channel.
class HdlcNotify {
 public:
  // Why the channel reports an error.
  struct Cause {
    enum Type : unsigned {
      readFail = 0,  // a read failed; the channel has closed itself
    };
  };

  virtual ~HdlcNotify() = default;
  // One received frame, possibly empty; the callee may keep or change it.
  virtual void on_hdlc_receive(Packet& frame) = 0;
  virtual void on_hdlc_error(Cause::Type cause) = 0;
  // The channel takes frames again after a refusal.
  virtual void on_hdlc_ready() = 0;
};
