// The HDLC channel under an SS7 link, as the link sees it.
//
// Flags, bit stuffing and the check bits are the channel's work: a frame here
// is a whole signal unit from its BSN octet to its last SIF octet. The channel
// (or its driver) repeats the last FISU or LSSU between frames; the link hands
// each one over once.
//
// Both interfaces run on the loop thread. A channel may call its client back
// from inside hdlc_transmit() only through on_hdlc_ready(), never recursively
// with a received frame.
#pragma once

#include "net/packet.h"

namespace SS7 {

// Transmit side.
class HdlcPort {
 public:
  virtual ~HdlcPort() = default;
  // True when the channel took the frame; false when it did not (queue full or
  // channel closed). After a refusal on an open channel, on_hdlc_ready()
  // follows once the channel can take frames again.
  virtual bool hdlc_transmit(Packet& frame) = 0;
};

// Receive side, implemented by the link above the channel.
class HdlcNotify {
 public:
  // Why the channel reports an error.
  enum class Cause : unsigned {
    readError = 0,  // a read failed; the channel has closed itself
  };

  virtual ~HdlcNotify() = default;
  // One received frame; the callee may keep or change it.
  virtual void on_hdlc_receive(Packet& frame) = 0;
  virtual void on_hdlc_error(Cause cause) = 0;
  // The channel takes frames again after a refusal.
  virtual void on_hdlc_ready() = 0;
};

}  // namespace SS7
