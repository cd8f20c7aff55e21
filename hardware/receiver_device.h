// The driver device behind a receiver service: the tone receivers' "/dev/dtmf"
// (hardware/tonec_receiver.h) and the voice-processing DSP's "/dev/dsp"
// (hardware/dsproc_receiver.h). The device is opened when the service is
// built and again by the requests that retry a missing device; while it is
// open the loop watches it and every whole event record goes to the
// service's dispatcher. A device that fails is let go (device_records.h).
//
// While the device is closed every request fails with EBADF, as the driver
// call on a closed descriptor would, and is reported like any other failure.
// Loop thread only.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <string>

#include "foundation/event.h"
#include "hardware/cyclic_list.h"
#include "hardware/device_records.h"

namespace Hardware {

class ReceiverDevice {
 public:
  // What tells one device from the other; the texts are the logs' own.
  struct Names {
    const char* (*path)();  // the device file (hardware/device_names.h)
    int flags;              // open(2) flags
    const char* watch;      // the loop's name for the watch, "<Service>::OnEvent"
    const char* missing;    // heads the line of a failed open; the error text follows
    const char* reads;      // the device in read-failure lines, "tonec" or "dsproc"
  };

  // Opens the device. Each record read goes to (owner->*dispatch)(record),
  // which may make requests, and may close or reopen the device: the reading
  // then stops until the next pass. `owner` outlives this device.
  template <class Owner, class Record>
  ReceiverDevice(const Names& names, Owner* owner, void (Owner::*dispatch)(const Record&))
      : names_(names), read_([this, owner, dispatch](int fd, short revents) {
          Record record;
          while (ReadDeviceRecord(event_, fd, revents, names_.reads, &record, sizeof record))
            (owner->*dispatch)(record);
        }) {
    Open();
  }
  ReceiverDevice(const ReceiverDevice&) = delete;
  ReceiverDevice& operator=(const ReceiverDevice&) = delete;

  bool IsOpen() const { return event_.IsActive(); }
  // Opens the device when it is closed; a failed open is logged ("<missing>"
  // and the error text, on std::cerr). True when the device is open.
  bool Open();
  // For the requests that retry a missing device: Open(), and when the device
  // stays closed writes `notOpened`, " timeslot=" and `ts` to std::cerr.
  bool OpenFor(const char* notOpened, unsigned ts);

  // A request whose argument is a record, and one whose argument is the value
  // itself: the driver's result, -1 with errno on failure.
  int Request(unsigned long request, void* record);
  int RequestValue(unsigned long request, unsigned long value);

 private:
  void OnEvent(int fd, short revents) { read_(fd, revents); }

  Names names_;
  Event event_;
  std::function<void(int fd, short revents)> read_;
};

// Writes a refused request's line to std::cerr: `request`, " fail:",
// " timeslot=" `ts`, " id=" `*id` when given, and the error text of errno as
// " errno=\"...\"".
void ReportFailure(const std::string& request, unsigned ts, const uint32_t* id = nullptr);

// The id that follows `last` (0 is never one), stored in `last`.
uint32_t NextId(uint32_t& last);

// The first receiver on `list`, in construction order, whose timeslot is
// `ts`; null when there is none.
template <class Receiver>
Receiver* FirstOnTimeslot(Containers::CyclicList& list, unsigned ts,
                          unsigned (Receiver::*timeslot)() const) {
  for (Containers::CyclicList& node : list) {
    Receiver* receiver = Containers::offset<Receiver>(node);
    if ((receiver->*timeslot)() == ts) return receiver;
  }
  return nullptr;
}

}  // namespace Hardware
