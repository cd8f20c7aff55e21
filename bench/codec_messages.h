// The five LGCP messages the codec benchmark encodes and decodes, built with
// the generated message classes. Each has a short name that the table and
// the Erlang reference use.
#pragma once

#include <string>
#include <vector>

#include "messages/lgcp/LGCP.h"

namespace Bench {

struct CodecMessage {
  std::string name;
  LGCP::Message value;
};

// ping           ping command without seq and slot;
// createMap      create command of a map slot with transmitter and receiver;
// userData200    userData command carrying 200 octets;
// trunkStatus    trunkStatus signal of an E1 trunk that lost its frame;
// isdnLinkInfo   ioctl signal reporting an ISDN link's counters and state.
std::vector<CodecMessage> CodecMessages();

}  // namespace Bench
