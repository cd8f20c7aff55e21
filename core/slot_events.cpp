// Driver event records turned into control-protocol signals of the slot.
#include <stdio.h>

#include <iostream>

#include "core/slot.h"

void Slot::processTonecEvent(const Hardware::TonecReceiverParams& params) {
  LGCP::TonecEvent event;
  event.set_timestamp(params.timestamp);
  LGCP::TonecCode& code = event.set_event();
  int value = params.code;
  if (value == 17) {
    code.select_ced();
  } else if (value == 18) {
    code.select_cng();
  } else if (value >= 0 && value <= 127) {
    code.select_dtmf(static_cast<unsigned>(value));
  } else {
    int iva = value >> 8;  // arithmetic: keeps the sign
    if (iva >= 1 && iva <= 20) {
      code.select_iva().select_code(static_cast<unsigned>(iva));
    } else if (iva == 21) {
      code.select_iva().select_ringoff();
    } else {
      std::cerr << "bad DTMF code, ignored." << std::endl;
      return;
    }
  }
  OnTonecEvent(event);
}

void Slot::processToneGenEvent() {
  LGCP::TonecEvent event;
  event.set_timestamp(0);
  event.set_event().select_dtmfDone();
  OnTonecEvent(event);
}

void Slot::processVADEvent(const Hardware::DSProcVADEvent& record) {
  if (record.rx < 0 && record.tx < 0) {
    std::cerr << "bad VAD event, ignored." << std::endl;
    return;
  }
  LGCP::VADEvent event;
  if (record.rx >= 0) event.set_vad_rx(record.rx > 0);
  if (record.tx >= 0) event.set_vad_tx(record.tx > 0);
  OnVADEvent(event);
}

void Slot::processSDEvent(const Hardware::DSProcSDEvent& record) {
  if (record.rx < 0) {
    std::cerr << "bad SD event, ignored." << std::endl;
    return;
  }
  LGCP::SDEvent event;
  event.set_sd_rx(record.rx > 0);
  OnSDEvent(event);
}

void Slot::processToneFltEvent(const dsproc_tone_event* record) {
  LGCP::TonecEvent event;
  event.set_timestamp(0);
  LGCP::TonePresence& presence = event.set_event().select_tone_presence();
  presence.set_freq(record->frequency);
  presence.set_presence(record->presence != 0);
  OnTonecEvent(event);
}

void Slot::processFlagsEvent(const dsproc_flags_event* record) {
  const uint32_t vadRx = 1u << 29, vadTx = 1u << 30, selcal = 1u << 31;
  if (record->mask & (vadRx | vadTx)) {
    LGCP::VADEvent event;
    if (record->mask & vadRx) event.set_vad_rx((record->flags & vadRx) != 0);
    if (record->mask & vadTx) event.set_vad_tx((record->flags & vadTx) != 0);
    OnVADEvent(event);
  }
  if (record->mask & selcal) {
    LGCP::Signal signal;
    signal.select_selcal().set_in_progress((record->flags & selcal) != 0);
    SendSignal(signal);
  }
}

void Slot::processBSSEvent(const dsproc_bss_event* record) {
  char text[31];
  snprintf(text, sizeof text, "%4.6f", static_cast<double>(record->score));
  LGCP::Signal signal;
  signal.select_bss().set_score(std::string(text));
  SendSignal(signal);
}

void Slot::processRtpEvent(const rtp_event& record) {
  if (record.type != 1) return;
  LGCP::RtpEvent event;
  LGCP::RtpPDEvent& pd = event.select_pd();
  pd.set_value(static_cast<int>(record.value));
  pd.set_timeout(static_cast<int>(record.timeout));
  OnRtpEvent(event);
}
