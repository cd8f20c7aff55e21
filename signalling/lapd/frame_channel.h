// The channel under a LAPD link: it takes one whole frame (address to last
// information octet, no FCS) at a time.
//
// hdlc_transmit returns false when the frame was not taken; a channel that is
// only full for now tells the link later through LAPD::on_hdlc_ready(), and
// the link sends again. A hardware HDLC channel or a slot that is its own
// transmitter implements this with the same operation it offers its other
// clients.
#pragma once

#include "net/packet.h"

namespace ISDN {

class FrameChannel {
 public:
  virtual ~FrameChannel() = default;
  virtual bool hdlc_transmit(Packet& frame) = 0;
};

}  // namespace ISDN
