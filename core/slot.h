// The base of every numbered endpoint (0..1023) the controller creates.
//
// A slot has at most one source (the slot whose output feeds its input), a
// list of receivers (no duplicates, ascending object address), the factory
// that made it, and input-active, output-active and releasing flags. The
// connection fields are changed only by the connection functions
// (core/slot_connection.h); a slot never owns its source or receivers.
//
// Lifetime: a factory makes the slot (SlotFactory::NewSlot), the slot table
// (Slots) numbers it, owns it and deletes it. Destruction: the table takes
// down the slot's connections, sets the releasing flag and calls
// BeforeDestroy(). A slot whose IBeforeDestroy() returns false keeps running
// until its release completes and then calls on_release(), which hands it back
// to the table to be deleted. A deleted slot has always left its factory's
// list, so nothing reaches it through the factory afterwards.
//
// Signals a slot sends carry its own number (SendSignal). Loop thread only.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "board/abi/dsp.h"
#include "board/abi/dtmf.h"
#include "board/abi/rtp.h"
#include "core/ctrl_service.h"
#include "core/lgcp.h"

class SlotFactory;
class Slots;

class Slot {
 public:
  static constexpr unsigned kNoId = ~0u;

  Slot() = default;
  virtual ~Slot();
  Slot(const Slot&) = delete;
  Slot& operator=(const Slot&) = delete;

  // The trunk and timeslot the slot stands for; -1 when none.
  virtual int GetTrunk();
  virtual int GetTrunkTimeSlot();
  virtual void OnTrunkStatus(unsigned trunk, const ACP::TrunkState::NamedNumber& state);
  // Called once, after the create command was answered.
  virtual void IAfterCreate();
  // True: the slot is released at once. False: it releases later and calls
  // on_release() when done.
  virtual bool IBeforeDestroy();
  // Slot commands; false is answered `unsupported`.
  virtual bool IActivate(const TERM::TermActivateParams& params);
  virtual bool IDeactivate();
  virtual bool IUserData(const std::vector<char>& octets);
  virtual bool Ioctl(const LGCP::IoctlParams& params);
  // The slot with the higher priority does the hardware work of a
  // connection (signalling slots: 1; all others 0).
  virtual int GetConnectionPriority();
  // Hardware connection; by default through the TDM cross-connect.
  virtual bool IHwConnectTransmitter(Slot& destination);
  virtual bool IHwConnectReceiver(Slot& source);
  virtual bool IHwDisconnectTransmitter(Slot& destination);
  virtual bool IHwDisconnectReceiver(Slot& source);
  // Open a stream: false when the slot has none.
  virtual bool IOnOutputStream();
  virtual bool IOnInputStream();
  // The last receiver is gone; the source is gone.
  virtual void IOnOutputRelease();
  virtual void IOnInputRelease();
  // TDM channels; -1 when none.
  virtual int IGetTransmitChannel();
  virtual int IGetReceiveChannel();
  // True while the slot's own channel is closed and the cross-connect holds
  // nothing of it (its routes went when it closed): no cross-connection to it
  // can be made, and undoing one has nothing left to undo. False by default:
  // a slot without a channel (-1) is the cross-connect's to refuse.
  virtual bool IChannelClosed();
  // The kind of slot, for log lines.
  virtual const char* GetName() const = 0;

  unsigned GetId() const { return id_; }
  // The slot table numbers a slot once it is made.
  void SetId(unsigned id) { id_ = id; }
  SlotFactory* GetSlotFactory() const { return factory_; }
  bool is_releasing() const { return releasing_; }
  bool GetInputStream() const { return input_; }
  bool GetOutputStream() const { return output_; }
  int GetTransmitChannel() { return IGetTransmitChannel(); }
  int GetReceiveChannel() { return IGetReceiveChannel(); }
  Slot* GetSource() const { return source_; }
  const std::vector<Slot*>& GetReceivers() const { return receivers_; }

  // "07:trunk", "na:map" (not numbered yet), "i2000:rtp" (out of range).
  void Put(std::ostream& os) const;

  // The logical graph, changed only by the connection functions. Called on
  // the destination.
  void LogicalConnect(Slot& source);
  void LogicalDisconnect();

  // Sends a signal with this slot's number through the slot table.
  void SendSignal(const LGCP::Signal& signal);
  void OnTonecEvent(const LGCP::TonecEvent& event);
  void OnNumber(const std::string& digits);
  void OnModem(const TERM::ModemProceeding& value);
  void OnModem(const TERM::ModemInformation& value);
  void OnActivated();
  void OnDeactivated();
  void OnAbort(int cause);
  void OnUserData(const std::vector<char>& octets);
  // Stream changes, reported as `receiver` / `transmitter` signals. Turning a
  // stream off first disconnects the slot's input, or every receiver.
  void OnChangeInputStream(bool active);
  void OnChangeOutputStream(bool active);
  void OnIoctlResponse(const LGCP::IoctlResponse& value);
  void OnRtpRadioEvent(const TERM::RtpRadioRequest& value);
  void OnVADEvent(const LGCP::VADEvent& value);
  void OnProtoLemzEvent(const LEMZGW::ProtoLemzPackets& value);
  void OnSDEvent(const LGCP::SDEvent& value);
  void OnRtpEvent(const LGCP::RtpEvent& value);

  // Driver event records turned into signals (core/slot_events.cpp).
  void processTonecEvent(const Hardware::TonecReceiverParams& params);
  void processToneGenEvent();
  void processVADEvent(const Hardware::DSProcVADEvent& event);
  void processSDEvent(const Hardware::DSProcSDEvent& event);
  void processToneFltEvent(const dsproc_tone_event* event);
  void processFlagsEvent(const dsproc_flags_event* event);
  void processBSSEvent(const dsproc_bss_event* event);
  void processRtpEvent(const rtp_event& event);

  // Release. BeforeDestroy(): IBeforeDestroy(); on true the slot leaves its
  // factory's list. on_release(): for a slot that released later; does
  // nothing unless the releasing flag is set. The slot may be deleted
  // before on_release() returns: the caller must not touch it afterwards.
  bool BeforeDestroy();
  void on_release();

 private:
  friend class SlotFactory;
  friend class Slots;

  unsigned id_ = kNoId;
  std::vector<Slot*> receivers_;
  Slot* source_ = nullptr;
  SlotFactory* factory_ = nullptr;
  bool input_ = false;
  bool output_ = false;
  bool releasing_ = false;
  // A destroy command whose answer waits for the release.
  bool delayedDestroy_ = false;
  CtrlSrv::Sequence delayedSequence_;
};

std::ostream& operator<<(std::ostream& os, const Slot& slot);
