// A device model that records every request it accepts, in order, with the
// bytes of its record (or the value passed), and delivers event records to
// every open descriptor: the base of the tone and DSP receiver models.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "board/sim/sim_board.h"

namespace BoardSim {

class RecordingDevice : public Device {
 public:
  struct Request {
    unsigned long code;
    bool byValue;
    unsigned long value;          // byValue
    std::vector<uint8_t> record;  // by address: the bytes the code's size covers
  };

  explicit RecordingDevice(std::string path) : Device(std::move(path)) {}

  int onIoctl(int channel, unsigned long request, void* arg) override;
  int onIoctlValue(int channel, unsigned long request, unsigned long value) override;

  const std::vector<Request>& requests() const { return requests_; }
  void clearRequests() { requests_.clear(); }
  // One record (or any bytes: a short or spurious one) to every open
  // descriptor; false when one of them could not take it.
  bool emit(const void* record, size_t size);

 protected:
  // Whether the model serves `code` by address or by value.
  virtual bool accepts(unsigned long code, bool byValue) const = 0;
  // The result of an accepted request (0 unless the model says otherwise).
  virtual int answer(unsigned long, unsigned long) { return 0; }

 private:
  std::vector<Request> requests_;
};

}  // namespace BoardSim
