// "/dev/dsp-data" on the simulated board: the QSIG D channel and its B
// channels. The D channel's timeslot is kDTimeslot; B channel subslot n gets
// timeslot kDTimeslot + 1 + n. Frames the application writes are recorded;
// a test hands it frames with deliver(). Requests are recorded in order.
#pragma once

#include <string>
#include <vector>

#include "board/abi/dsp_data.h"
#include "board/sim/sim_board.h"

namespace BoardSim {

class DspData : public Device {
 public:
  static constexpr int kDTimeslot = 16;

  DspData();
  int onIoctl(int channel, unsigned long request, void* arg) override;
  int onIoctlValue(int channel, unsigned long request, unsigned long value) override;
  ssize_t onWrite(int channel, const void* data, size_t size) override;

  // "add 0", "remove 0", "timeslot": what the application asked, in order.
  std::vector<std::string> requests;
  std::vector<std::string> frames;
};

DspData& dspData();

}  // namespace BoardSim
