// The slot base, as a transcript: its printed form, and the converters that
// turn tone, DSP and RTP driver records into signals with the slot's number
// (bad records are logged and dropped).
#include "core/slot.h"

#include <iomanip>
#include <sstream>

#include <gtest/gtest.h>

#include "core/slots.h"
#include "transcript.h"

namespace {

using namespace CoreTest;

class Plain : public Slot {
 public:
  const char* GetName() const override { return "plain"; }
  void SetNumber(unsigned n) { SetId(n); }
};

TEST(SlotTest, PrintedFormAndConverters) {
  CtrlSrv::ctrlServer.Bind(&Slots::instance());
  Transcript t(CtrlSrv::ctrlServer, nullptr);
  Plain slot;
  for (int number : {-1, 7, 1023, 2000}) {
    if (number >= 0) slot.SetNumber(static_cast<unsigned>(number));
    std::ostringstream os;
    os << slot << "|" << std::setw(3) << 1;  // the fill is a blank again
    t.Show("printed", os.str());
  }
  slot.SetNumber(44);
  for (int code : {17, 18, 5, 127, 0x0300, 0x1400, 0x1500, 0x1600, -1, 128, 0xFF}) {
    Hardware::TonecReceiverParams params = {code, 1234};
    t.Do("tone code " + std::to_string(code), [&] { slot.processTonecEvent(params); });
  }
  t.Do("tone generator done", [&] { slot.processToneGenEvent(); });
  for (int rx : {1, -1}) {
    for (int tx : {-1, 0}) {
      Hardware::DSProcVADEvent vad;
      vad.rx = rx, vad.tx = tx;
      t.Do("vad rx " + std::to_string(rx) + " tx " + std::to_string(tx),
           [&] { slot.processVADEvent(vad); });
    }
    Hardware::DSProcSDEvent sd;
    sd.rx = rx == 1 ? -1 : 2;
    t.Do("sd rx " + std::to_string(sd.rx), [&] { slot.processSDEvent(sd); });
  }
  dsproc_tone_event tone = {2100, 7};
  t.Do("tone filter 2100 Hz", [&] { slot.processToneFltEvent(&tone); });
  // Mask bits 29 and 31, value bit 29; then a mask without them.
  dsproc_flags_event flags = {1u << 29, (1u << 29) | (1u << 31)};
  t.Do("flags vad-rx and selcal", [&] { slot.processFlagsEvent(&flags); });
  dsproc_flags_event none = {0xFFFFFFFFu, 0x1FFFFFFFu};
  t.Do("flags outside the mask", [&] { slot.processFlagsEvent(&none); });
  dsproc_bss_event score = {0.5f};
  t.Do("bss score 0.5", [&] { slot.processBSSEvent(&score); });
  rtp_event other = {2, 1, 1}, pd = {1, 6, 300};
  t.Do("rtp event of another kind", [&] { slot.processRtpEvent(other); });
  t.Do("rtp packet detector", [&] { slot.processRtpEvent(pd); });
  t.Do("senders", [&] {
    slot.OnDeactivated();
    slot.OnAbort(3);
    slot.OnUserData({'a', 'b'});
    slot.OnActivated();
  });
  t.Check();
}

}  // namespace
