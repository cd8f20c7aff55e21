// The tone receivers and generators behind "/dev/dtmf": DTMF detection and
// rejection, the IVA detector, the echo canceller, a dual-tone generator per
// timeslot and a SELCAL sender.
//
// TonecReceiverService owns the device: it turns requests into driver
// requests and hands each event record to the first receiver (in
// construction order) whose timeslot it names. TonecReceiver is the
// per-timeslot client, a base of the media slots: it tells its timeslot and
// receives the events of the detectors it switched on, and runs two timed
// sequences of its own on the generator: the wait tone (425 Hz, 1 s on, 3 s
// off) and a DTMF digit string (70 ms tone, 70 ms pause by default).
//
// The device is opened at construction and again by a configuration request
// while it is missing; other requests meanwhile fail with the closed
// descriptor's error. Every failed request is logged and reported as false;
// no flag of the receiver changes then. Loop thread only.
#pragma once

#include <stdint.h>

#include <deque>

#include "board/abi/dtmf.h"
#include "foundation/timer.h"
#include "hardware/cyclic_list.h"
#include "hardware/receiver_device.h"

namespace LGCP {
class DTMFParams;
class IVAParams;
class TranslateDtmfParams;
}  // namespace LGCP
namespace TERM {
class SelcalCommand;
}

namespace Hardware {

class TonecReceiver;

class TonecReceiverService {
 public:
  static TonecReceiverService& instance();
  // Opens the device. Production uses instance(); tests build their own.
  TonecReceiverService();
  TonecReceiverService(const TonecReceiverService&) = delete;
  TonecReceiverService& operator=(const TonecReceiverService&) = delete;

  bool configureDTMF(unsigned ts, const LGCP::DTMFParams& params);
  bool enableDTMF(TonecReceiver& receiver, bool on);
  bool echoCancel(unsigned ts, bool on);
  bool enableDTMFReject(unsigned ts, bool on);
  bool enableToneGenerator(unsigned ts, uint16_t freq1, uint16_t freq2, uint16_t amp1, uint16_t amp2);
  bool configureIVA(TonecReceiver& receiver, const LGCP::IVAParams& params);
  bool enableIVA(TonecReceiver& receiver, bool on);
  void translateSelcal(TonecReceiver& receiver, const TERM::SelcalCommand& command);

  bool IsOpen() const { return device_.IsOpen(); }
  // The source of detector ids: the next is one more, 0 skipped.
  uint32_t LastId() const { return lastId_; }
  void SetLastId(uint32_t id) { lastId_ = id; }

 private:
  friend class TonecReceiver;
  void Dispatch(const tonec_event& event);
  // One request of an on/off pair, reported by the name of the one made.
  bool Turn(unsigned ts, bool on, unsigned long onRequest, unsigned long offRequest,
            const char* onName, const char* offName);

  uint32_t lastId_ = 0;
  Containers::CyclicList receivers_;
  ReceiverDevice device_;
};

class TonecReceiver {
 public:
  using Params = TonecReceiverParams;

  explicit TonecReceiver(TonecReceiverService& service = TonecReceiverService::instance());
  // Neither talks to the driver nor stops anything: CleanBeforeDestroy() does.
  virtual ~TonecReceiver() = default;
  TonecReceiver(const TonecReceiver&) = delete;
  TonecReceiver& operator=(const TonecReceiver&) = delete;

  // A detected tone of a detector this receiver switched on.
  virtual void tonec_event(const Params& params) = 0;
  virtual unsigned tonec_timeslot() const = 0;
  // A DTMF digit string has been sent.
  virtual void tone_gen_complete() {}

  bool configureDTMF(const LGCP::DTMFParams& params);
  bool enableDTMF(bool on);
  bool disableDTMF();
  bool echoCancel(bool on);
  bool enableDTMFReject(bool on);
  bool enableIVA(bool on);
  bool configureIVA(const LGCP::IVAParams& params);
  void translateSelcal(const TERM::SelcalCommand& command);
  bool enableToneGenerator(uint16_t freq1, uint16_t freq2, uint16_t amp1, uint16_t amp2);
  bool enableSilence();
  // Generator off. Unless `force`, only while a digit string is being sent
  // (which it ends).
  bool disableToneGenerator(bool force);
  // Sends the digits; a string already being sent goes on with these at its
  // next pause end.
  void translateDTMF(const LGCP::TranslateDtmfParams& params);
  // The wait tone; starting it ends a digit string being sent.
  void activateAudibleCall();
  // Stops the wait tone; does nothing while a digit string is being sent.
  void cancelAudibleCall();
  bool is_inDTMFTransmit() const { return sending_; }
  // Switches off what this receiver switched on: DTMF, IVA, rejection.
  void CleanBeforeDestroy();

  // Events are accepted while either detector is on.
  bool listening() const { return dtmfListening_ || ivaListening_; }
  uint32_t detectorId() const { return id_; }

 private:
  friend class TonecReceiverService;
  struct Digit {
    uint16_t freq1, freq2;
  };
  void ToneOn();
  void ToneOff();
  void PauseEnd();
  void ToneEnd();

  TonecReceiverService& service_;
  bool dtmfListening_ = false;
  bool ivaListening_ = false;
  Timer timer_;
  bool sending_ = false;
  uint32_t id_ = 0;
  std::deque<Digit> digits_;
  uint16_t amp1_ = 16384, amp2_ = 16384;
  unsigned toneMs_ = 70, pauseMs_ = 70;
  Containers::CyclicList node_;
  bool ivaOn_ = false, dtmfOn_ = false, rejectOn_ = false;
};

}  // namespace Hardware

namespace Dtmf {
const int NumTones = 16;
// The keypad's frequency pairs (ITU-T Q.23) for 0-9, *, #, A-D. Nothing
// consults it.
struct TonesValidator {
  char tone;
  uint16_t low, high;
};
extern const TonesValidator tonesValidator[NumTones];
}  // namespace Dtmf
