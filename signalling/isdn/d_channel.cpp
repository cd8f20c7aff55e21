#include "signalling/isdn/d_channel.h"

#include <fcntl.h>

#include <iostream>

#include "board/abi/dsp_data.h"
#include "board/abi/mcc.h"
#include "board/board.h"
#include "foundation/errno_text.h"
#include "hardware/mcc_channel.h"

namespace {

const char kPrefix[] = "mcc/isdn: ";

class Mcc : public HDLC::Device {
 public:
  explicit Mcc(bool bri) : bri_(bri) {}
  Fd Open(const HDLC&, int* number) const override {
    return OpenMccChannel({bri_ ? MccRequest::kBriD : MccRequest::kHdlcData, 1}, false, number, kPrefix);
  }
  const char* EventName() const override { return "IsdnSlot::OnEvent"; }
  bool JoinsParams() const override { return false; }
  const char* LogPrefix() const override { return kPrefix; }

 private:
  bool bri_;
};

class Qsig : public HDLC::Device {
 public:
  Fd Open(const HDLC&, int* number) const override {
    Fd fd(Board::open("/dev/dsp-data", O_RDWR | O_NONBLOCK));
    if (!fd) {
      Errno error;
      std::cerr << kPrefix << "fail to open dsp-data device: " << error << std::endl;
      return Fd();
    }
    *number = Board::ioctlValue(fd.lowlevel_fd(), DspDataRequest::kDChannelTimeslot, 0);
    return fd;
  }
  const char* EventName() const override { return "AtsQsigSlot::OnEvent"; }
  bool JoinsParams() const override { return false; }
  const char* LogPrefix() const override { return kPrefix; }
};

}  // namespace

const HDLC::Device& MccDChannel(bool bri) {
  static const Mcc pri(false), basic(true);
  return bri ? basic : pri;
}

const HDLC::Device& QsigDChannel() {
  static const Qsig qsig;
  return qsig;
}
