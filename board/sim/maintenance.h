// "/dev/maintenance" on the simulated board: the E1 trunks' synchronisation
// status, the clock source and the transmit-clock mask. The status of each
// trunk is set field by field by tests; the state is passed through unchecked,
// as a driver may report a value the application does not know.
#pragma once

#include <stdint.h>

#include "board/abi/maintenance.h"
#include "board/sim/sim_board.h"

namespace BoardSim {

class Maintenance : public Device {
 public:
  static constexpr int kTrunks = 4;
  enum class Field { Slips, LossBF, LossCarrier, Ais, Rai, State };

  Maintenance();
  int onIoctl(int channel, unsigned long request, void* arg) override;
  int onIoctlValue(int channel, unsigned long request, unsigned long value) override;

  // False for a trunk outside 0..3.
  bool set(int trunk, Field field, int32_t value);
  uint32_t tclkMask() const { return tclk_; }
  unsigned tclkWrites() const { return tclkWrites_; }
  long clockSource() const { return source_; }  // -1 until selected
  unsigned statusReads() const { return statusReads_; }
  // Every trunk normal with zero counters; mask 0; counts 0.
  void reset();

 private:
  e1_sync_status status_[kTrunks];
  uint32_t tclk_ = 0;
  unsigned tclkWrites_ = 0;
  long source_ = -1;
  unsigned statusReads_ = 0;
};

Maintenance& maintenance();

}  // namespace BoardSim
