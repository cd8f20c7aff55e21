// The packet pool's reserve for the control link and the hardware services.
//
// The pool is fixed (1024 blocks) and raises std::bad_alloc when it runs dry,
// which ends the process. Queues that hold packets for a link or a slot (LAPD
// and its network side, MTP2 transmission and retransmission buffers, HDLC
// slot queues, batches received for the controller) can grow on input the
// server does not control: a controller's commands, a line's frames. Each of
// them asks packet_pool_admits_link_data() before it stores new data and
// refuses the data when the answer is false, so that the blocks this reserve
// keeps free always remain for the control connection's frames and answers
// and for the hardware services' reads.
#pragma once

#include "net/packet.h"

// Free blocks that link and slot queues never take.
constexpr unsigned packet_link_reserve = 128;

// True while a link or slot queue may take one more block.
inline bool packet_pool_admits_link_data() {
  return Packet_pool::free_count() > packet_link_reserve;
}
