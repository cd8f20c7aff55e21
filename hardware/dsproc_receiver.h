// The voice-processing DSP behind "/dev/dsp": voice activity (VAD), signal
// detection (SD), the BSS score, noise gate (NG), mute, delays, receive gain,
// tone filters and a flags report.
//
// DSProcReceiverService owns the device and hands each event record to the
// first receiver (in construction order) whose timeslot it names, filtered by
// what that receiver switched on and under which id. DSProcReceiver is the
// per-timeslot client, a base of the media slots. A switch request that is
// refused leaves the receiver's state as it was, so the next one is sent
// again. The "signalling.events" trace shows every event. Loop thread only.
#pragma once

#include <stdint.h>

#include "board/abi/dsp.h"
#include "hardware/cyclic_list.h"
#include "hardware/receiver_device.h"

namespace LGCP {
class VADParams;
}

namespace Hardware {

class DSProcReceiver;

// Whether a receiver has a DSP function switched on. Unknown until a request
// settles it: a request for either state is then sent whatever it is.
enum class FunctionState : int32_t { kUnknown = -1, kOff = 0, kOn = 1 };
// "unknown", "off", "on".
const char* GetTextNotation(FunctionState state);

class DSProcReceiverService {
 public:
  static DSProcReceiverService& instance();
  // Opens the device. Production uses instance(); tests build their own.
  DSProcReceiverService();
  DSProcReceiverService(const DSProcReceiverService&) = delete;
  DSProcReceiverService& operator=(const DSProcReceiverService&) = delete;

  bool configureVAD(DSProcReceiver& r, const LGCP::VADParams& params);
  bool enableVAD(DSProcReceiver& r, bool on);
  bool enableBSS(DSProcReceiver& r, bool on);
  bool enableNG(DSProcReceiver& r, bool on);
  bool configureSD(DSProcReceiver& r);
  bool enableSD(DSProcReceiver& r, bool on);
  bool enableMute(DSProcReceiver& r, bool first, bool second);
  void configureDelays(DSProcReceiver& r, unsigned rx, unsigned tx);
  void configureRxGain(DSProcReceiver& r, char gain_dB);
  void configureToneFilter(DSProcReceiver& r, unsigned freq, unsigned enable, int duration_th_msec,
                           int det_level_dB);
  void disableToneAll(DSProcReceiver& r);

  bool IsOpen() const { return device_.IsOpen(); }
  uint32_t LastId() const { return lastId_; }

 private:
  // Opens the device if need be (false, reported, when it stays closed) and
  // fills the common head of a configuration block.
  bool Prepare(dsproc_config& block, unsigned ts, uint32_t function, const char* notOpened);
  // `request` names the block's function in the failure line.
  bool Configure(dsproc_config& block, const char* request);
  bool Switch(DSProcReceiver& r, FunctionState& state, uint32_t& id, uint32_t functions,
              const char* name, bool on);
  void Dispatch(const dsproc_event& e);
  // Delivery of the records that the receiver's state filters.
  static void DeliverVad(DSProcReceiver& r, const dsproc_event& e, bool trace);
  static void DeliverSd(DSProcReceiver& r, const dsproc_event& e, bool trace);
  static void DeliverBss(DSProcReceiver& r, const dsproc_event& e, bool trace);

  uint32_t lastId_ = 0;
  Containers::CyclicList receivers_;
  ReceiverDevice device_;
  friend class DSProcReceiver;
};

class DSProcReceiver {
 public:
  explicit DSProcReceiver(DSProcReceiverService& service = DSProcReceiverService::instance());
  virtual ~DSProcReceiver() = default;
  DSProcReceiver(const DSProcReceiver&) = delete;
  DSProcReceiver& operator=(const DSProcReceiver&) = delete;

  virtual void dsproc_vad_event(const DSProcVADEvent& event) = 0;
  virtual void dsproc_bss_event(const ::dsproc_bss_event* event) = 0;
  virtual void dsproc_sd_event(const DSProcSDEvent& event) = 0;
  virtual void dsproc_tone_flt_event(const dsproc_tone_event* event) = 0;
  virtual void dsproc_flags_event(const ::dsproc_flags_event* event) = 0;
  virtual unsigned dsproc_timeslot() const = 0;

  bool configureVAD(const LGCP::VADParams& params) { return service_.configureVAD(*this, params); }
  bool enableVAD(bool on) { return service_.enableVAD(*this, on); }
  bool disableVAD() { return enableVAD(false); }
  bool enableBSS(bool on) { return service_.enableBSS(*this, on); }
  bool disableBSS() { return enableBSS(false); }
  bool enableNG(bool on) { return service_.enableNG(*this, on); }
  bool disableNG() { return enableNG(false); }
  bool configureSD() { return service_.configureSD(*this); }
  bool enableSD(bool on) { return service_.enableSD(*this, on); }
  bool disableSD() { return enableSD(false); }
  bool enableMute(bool first, bool second) { return service_.enableMute(*this, first, second); }
  bool disableMute() { return enableMute(false, false); }
  void configureDelays(unsigned rx, unsigned tx) { service_.configureDelays(*this, rx, tx); }
  void configureRxGain(char gain_dB) { service_.configureRxGain(*this, gain_dB); }
  void configureToneFilter(unsigned freq, unsigned enable, int duration_th_msec, int det_level_dB) {
    service_.configureToneFilter(*this, freq, enable, duration_th_msec, det_level_dB);
  }
  void disableToneAll() { service_.disableToneAll(*this); }
  // VAD, BSS and NG off when on, delays and gain back to 0 when set, and
  // every tone filter off.
  void CleanBeforeDestroy();

  FunctionState vadState() const { return vadState_; }

 private:
  friend class DSProcReceiverService;
  DSProcReceiverService& service_;
  FunctionState vadState_ = FunctionState::kUnknown;
  uint32_t vadId_ = 0;
  // BSS and NG start off: switching them off before ever on sends nothing.
  FunctionState bssState_ = FunctionState::kOff;
  uint32_t bssId_ = 0;
  FunctionState ngState_ = FunctionState::kOff;
  uint32_t ngId_ = 0;
  FunctionState sdState_ = FunctionState::kUnknown;
  uint32_t sdId_ = 0;
  FunctionState muteFirst_ = FunctionState::kUnknown, muteSecond_ = FunctionState::kUnknown;
  uint32_t muteId_ = 0;
  bool delaysSet_ = false;
  bool gainSet_ = false;
  Containers::CyclicList node_;
};

}  // namespace Hardware
