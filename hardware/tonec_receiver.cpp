#include "hardware/tonec_receiver.h"

#include <fcntl.h>
#include <string.h>

#include <iostream>

#include "hardware/device_names.h"
#include "messages/lgcp/LGCP.h"
#include "messages/term/TERM.h"

namespace Dtmf {
const TonesValidator tonesValidator[NumTones] = {
    {'0', 941, 1336}, {'1', 697, 1209}, {'2', 697, 1336}, {'3', 697, 1477},
    {'4', 770, 1209}, {'5', 770, 1336}, {'6', 770, 1477}, {'7', 852, 1209},
    {'8', 852, 1336}, {'9', 852, 1477}, {'*', 941, 1209}, {'#', 941, 1477},
    {'A', 697, 1633}, {'B', 770, 1633}, {'C', 852, 1633}, {'D', 941, 1633},
};
}  // namespace Dtmf

namespace Hardware {

namespace {
const uint16_t kWaitToneHz = 425;
const uint16_t kWaitToneAmp = 2048;
const unsigned kWaitToneOnMs = 1000;
const unsigned kWaitToneOffMs = 3000;

const ReceiverDevice::Names kDevice = {GetDTMFDevName, O_RDONLY | O_NONBLOCK,
                                       "TonecReceiverService::OnEvent",
                                       "open tonec fail, DTMF proceeding disabled: ", "tonec"};
}  // namespace

TonecReceiverService& TonecReceiverService::instance() {
  static TonecReceiverService service;
  return service;
}

TonecReceiverService::TonecReceiverService()
    : device_(kDevice, this, &TonecReceiverService::Dispatch) {}

bool TonecReceiverService::configureDTMF(unsigned ts, const LGCP::DTMFParams& params) {
  if (!device_.OpenFor("configure DTMF fail: (interface not opened)", ts)) return false;
  DtmfConfigure block;
  memset(&block, 0, sizeof block);
  block.timeslot = ts;
  block.twist = params.get_threshold().get_twist().getValue();
  block.ratio = params.get_threshold().get_ratio().getValue();
  block.silence = params.get_level().get_silence().getValue();
  block.noise = params.get_threshold().get_noise().getValue();
  if (device_.Request(DtmfRequest::kConfigureDetector, &block) == -1) {
    ReportFailure("DTMF_CONFIGURE_DETECTOR", ts);
    return false;
  }
  std::clog << "DTMF_CONFIGURE_DETECTOR" << " ts=" << ts << " twist=" << block.twist << " ratio=" << block.ratio
            << " noise=" << block.noise << " silence=" << block.silence << std::endl;
  return true;
}

bool TonecReceiverService::enableDTMF(TonecReceiver& receiver, bool on) {
  // Each detector has its own flag: IVA being on says nothing about DTMF.
  if (receiver.dtmfListening_ == on) return true;
  unsigned ts = receiver.tonec_timeslot();
  if (on) {
    DtmfEnable block = {ts, NextId(lastId_)};
    if (device_.Request(DtmfRequest::kEnableDetector, &block) == -1) {
      ReportFailure("DTMF_ENABLE_DETECTOR", ts, &lastId_);
      return false;
    }
    receiver.id_ = lastId_;
    receiver.dtmfListening_ = true;
    std::cerr << "DTMF_ENABLE_DETECTOR done:" << " timeslot=" << ts << " id=" << lastId_ << std::endl;
    return true;
  }
  if (device_.RequestValue(DtmfRequest::kDisableDetector, ts) == -1) {
    ReportFailure("DTMF_DISABLE_DETECTOR", ts);
    return false;
  }
  receiver.dtmfListening_ = false;
  std::cerr << "DTMF_DISABLE_DETECTOR done:" << " timeslot=" << ts << std::endl;
  return true;
}

bool TonecReceiverService::Turn(unsigned ts, bool on, unsigned long onRequest,
                                unsigned long offRequest, const char* onName, const char* offName) {
  const char* name = on ? onName : offName;
  if (device_.RequestValue(on ? onRequest : offRequest, ts) == -1) {
    ReportFailure(name, ts);
    return false;
  }
  std::clog << name << "[" << ts << "] ok" << std::endl;
  return true;
}

bool TonecReceiverService::echoCancel(unsigned ts, bool on) {
  return Turn(ts, on, DtmfRequest::kLmsOn, DtmfRequest::kLmsOff, "CHANNEL_LMS_ON",
              "CHANNEL_LMS_OFF");
}

bool TonecReceiverService::enableDTMFReject(unsigned ts, bool on) {
  return Turn(ts, on, DtmfRequest::kRejectionEnable, DtmfRequest::kRejectionDisable,
              "DTMF_REJECTION_ENABLE", "DTMF_REJECTION_DISABLE");
}

bool TonecReceiverService::enableToneGenerator(unsigned ts, uint16_t freq1, uint16_t freq2, uint16_t amp1,
                                               uint16_t amp2) {
  DtmfDial block;
  memset(&block, 0, sizeof block);
  block.timeslot = ts;
  block.freq1 = freq1;
  block.freq2 = freq2;
  block.amp1 = amp1;
  block.amp2 = amp2;
  if (device_.Request(DtmfRequest::kDial, &block) == -1) {
    ReportFailure("DTMF_DIAL", ts);
    return false;
  }
  return true;
}

bool TonecReceiverService::configureIVA(TonecReceiver& receiver, const LGCP::IVAParams& params) {
  unsigned ts = receiver.tonec_timeslot();
  if (!device_.OpenFor("configure IVA fail: (interface not opened)", ts)) return false;
  IvaConfigure block = {ts, params.get_det_lvl_dB().getValue()};
  if (device_.Request(DtmfRequest::kIvaConfigure, &block) == -1) {
    ReportFailure("IVA_CONFIGURE_DETECTOR", ts);
    return false;
  }
  std::clog << "IVA_CONFIGURE_DETECTOR" << " ts=" << ts << " det_lvl_dB=" << block.det_lvl_dB << std::endl;
  return true;
}

bool TonecReceiverService::enableIVA(TonecReceiver& receiver, bool on) {
  if (!Turn(receiver.tonec_timeslot(), on, DtmfRequest::kIvaEnable, DtmfRequest::kIvaDisable,
            "IVA_DETECTOR_ENABLE", "IVA_DETECTOR_DISABLE"))
    return false;
  receiver.ivaListening_ = on;
  return true;
}

void TonecReceiverService::translateSelcal(TonecReceiver& receiver, const TERM::SelcalCommand& command) {
  unsigned ts = receiver.tonec_timeslot();
  const std::string& signs = command.get_signs();
  if (signs.size() < 4) {
    std::cerr << "SELCAL_DIAL fail:" << " timeslot=" << ts << " incorect signs:" << signs << std::endl;
    return;
  }
  SelcalDial block;
  memset(&block, 0, sizeof block);
  block.timeslot = ts;
  block.amp = static_cast<uint16_t>(command.amp_isPresent() ? command.get_amp().getValue() : 12000);
  memcpy(block.signs, signs.data(), 4);
  if (device_.Request(DtmfRequest::kSelcalDial, &block) == -1) ReportFailure("SELCAL_DIAL", ts);
}

void TonecReceiverService::Dispatch(const tonec_event& e) {
  std::clog << "dtmf event: " << " timestamp=" << e.timestamp << " timeslot=" << e.timeslot << " code=" << e.code
            << " id=" << e.id << std::endl;
  TonecReceiver* receiver = FirstOnTimeslot(receivers_, e.timeslot, &TonecReceiver::tonec_timeslot);
  if (!receiver) {
    std::cerr << "receive tonec event from unknown timeslot " << e.timeslot << std::endl;
    return;
  }
  if (!receiver->listening()) {
    std::clog << "ignore spurious dtmf event (DTMF disabled): " << " timestamp=" << e.timestamp
              << " timeslot=" << e.timeslot << " code=" << e.code << " id=" << e.id << std::endl;
    return;
  }
  if (receiver->id_ != e.id) {
    std::clog << "ignore spurious dtmf event: " << " timestamp=" << e.timestamp << " timeslot=" << e.timeslot
              << " code=" << e.code << " id=" << e.id << " rid=" << receiver->id_ << std::endl;
    return;
  }
  TonecReceiver::Params params = {static_cast<int32_t>(e.code), static_cast<int32_t>(e.timestamp)};
  receiver->tonec_event(params);
}

TonecReceiver::TonecReceiver(TonecReceiverService& service) : service_(service), node_(this) {
  service_.receivers_.AddToTail(node_);
}

bool TonecReceiver::configureDTMF(const LGCP::DTMFParams& params) {
  return service_.configureDTMF(tonec_timeslot(), params);
}

bool TonecReceiver::enableDTMF(bool on) {
  if (!service_.enableDTMF(*this, on)) return false;
  dtmfOn_ = on;
  return true;
}

bool TonecReceiver::disableDTMF() { return enableDTMF(false); }

bool TonecReceiver::echoCancel(bool on) { return service_.echoCancel(tonec_timeslot(), on); }

bool TonecReceiver::enableDTMFReject(bool on) {
  if (!service_.enableDTMFReject(tonec_timeslot(), on)) return false;
  rejectOn_ = on;
  return true;
}

bool TonecReceiver::enableIVA(bool on) {
  if (!service_.enableIVA(*this, on)) return false;
  ivaOn_ = on;
  return true;
}

bool TonecReceiver::configureIVA(const LGCP::IVAParams& params) { return service_.configureIVA(*this, params); }

void TonecReceiver::translateSelcal(const TERM::SelcalCommand& command) {
  service_.translateSelcal(*this, command);
}

bool TonecReceiver::enableToneGenerator(uint16_t freq1, uint16_t freq2, uint16_t amp1, uint16_t amp2) {
  return service_.enableToneGenerator(tonec_timeslot(), freq1, freq2, amp1, amp2);
}

bool TonecReceiver::enableSilence() { return enableToneGenerator(1000, 1000, 0, 0); }

bool TonecReceiver::disableToneGenerator(bool force) {
  if (!force && !sending_) return false;
  if (sending_) {
    timer_.reset();
    sending_ = false;
  }
  return enableToneGenerator(0, 0, 0, 0);
}

void TonecReceiver::translateDTMF(const LGCP::TranslateDtmfParams& params) {
  digits_.clear();
  const ASN1::SEQUENCE_OF<LGCP::DualTone>& digits = params.get_digits();
  for (unsigned i = 0; i < digits.size(); ++i)
    digits_.push_back(Digit{static_cast<uint16_t>(digits[i].get_freq1().getValue()),
                            static_cast<uint16_t>(digits[i].get_freq2().getValue())});
  amp1_ = static_cast<uint16_t>(params.amp1_isPresent() ? params.get_amp1().getValue() : 16384);
  amp2_ = static_cast<uint16_t>(params.amp2_isPresent() ? params.get_amp2().getValue() : 16384);
  toneMs_ = params.toneDuration_isPresent() ? static_cast<unsigned>(params.get_toneDuration().getValue()) : 70;
  pauseMs_ = params.pauseDuration_isPresent() ? static_cast<unsigned>(params.get_pauseDuration().getValue()) : 70;
  if (sending_) return;
  sending_ = true;
  PauseEnd();
}

void TonecReceiver::PauseEnd() {
  if (digits_.empty()) {
    disableToneGenerator(true);
    tone_gen_complete();
    return;
  }
  Digit digit = digits_.front();
  digits_.pop_front();
  enableToneGenerator(digit.freq1, digit.freq2, amp1_, amp2_);
  timer_.set(toneMs_, &TonecReceiver::ToneEnd, this);
}

void TonecReceiver::ToneEnd() {
  enableSilence();
  timer_.set(pauseMs_, &TonecReceiver::PauseEnd, this);
}

void TonecReceiver::activateAudibleCall() {
  // The wait tone takes the timer: a digit string being sent ends here, or
  // its flag would stay set for good.
  sending_ = false;
  digits_.clear();
  ToneOn();
}

void TonecReceiver::ToneOn() {
  enableToneGenerator(kWaitToneHz, 0, kWaitToneAmp, kWaitToneAmp);
  timer_.set(kWaitToneOnMs, &TonecReceiver::ToneOff, this);
}

void TonecReceiver::ToneOff() {
  enableSilence();
  timer_.set(kWaitToneOffMs, &TonecReceiver::ToneOn, this);
}

void TonecReceiver::cancelAudibleCall() {
  if (sending_) return;
  timer_.reset();
  enableToneGenerator(0, 0, 0, 0);
}

void TonecReceiver::CleanBeforeDestroy() {
  if (dtmfOn_) disableDTMF();
  if (ivaOn_) enableIVA(false);
  if (rejectOn_) enableDTMFReject(false);
}

}  // namespace Hardware
