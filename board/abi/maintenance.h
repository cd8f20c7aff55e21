// Requests of the board's maintenance driver ("/dev/maintenance"): E1 trunk
// status and clocks. The request codes are the board's literal numbers.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace MaintenanceRequest {

// Reads one trunk's synchronisation status; argument: e1_sync_status by
// address, with the trunk set.
const unsigned long kSyncStatus = 0xC0504D03UL;
// Selects the clock source; the argument is the source number itself.
const unsigned long kClockSource = 0xC0044D0AUL;
// Sets the transmit-clock mask (bit t: trunk t is slave); the argument is the
// mask itself.
const unsigned long kTclkMask = 0xC0044D0BUL;

}  // namespace MaintenanceRequest

// One trunk's synchronisation status (80 bytes). `state` holds an
// ACP::TrunkState value as the driver reports it.
struct e1_sync_status {
  uint32_t trunk;
  uint8_t unused1[32];
  int32_t slips;
  int32_t lossBF;
  int32_t lossCarrier;
  int32_t ais;
  int32_t rai;
  uint8_t unused2[20];
  int32_t state;
};

static_assert(sizeof(e1_sync_status) == 80, "status record is 80 bytes");
static_assert(offsetof(e1_sync_status, trunk) == 0, "trunk at byte 0");
static_assert(offsetof(e1_sync_status, slips) == 36, "slips at byte 36");
static_assert(offsetof(e1_sync_status, lossBF) == 40, "lossBF at byte 40");
static_assert(offsetof(e1_sync_status, lossCarrier) == 44, "loss of carrier at byte 44");
static_assert(offsetof(e1_sync_status, ais) == 48, "AIS at byte 48");
static_assert(offsetof(e1_sync_status, rai) == 52, "RAI at byte 52");
static_assert(offsetof(e1_sync_status, state) == 76, "state at byte 76");
