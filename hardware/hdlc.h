// One channel of the board's multi-channel HDLC controller ("/dev/mcc/ctl"),
// joined through the cross-connect to a TDM channel in both directions; or,
// with a device of its owner's (HDLC::Device), a D channel that the owner's
// connections join: the ISDN slot's own controller channel, the QSIG D
// channel of "/dev/dsp-data".
//
// The driver hands over one received frame per read() and takes one frame per
// write(): the bytes between the flags, without the frame check sequence.
//
// A link layer sees the channel through two interfaces: GenericHDLC, the
// transmit side, and HDLC::Notify, the receive side it implements.
//
//   HDLC channel;
//   channel.params({trunk, timeslot, tdm, tx_tdm, mode});
//   channel.trunk(trunk);
//   channel.bind(&client);          // the client outlives the binding
//   channel.activate();             // allocates, numbers, joins the timeslot
//   channel.hdlc_transmit(frame);   // false: refused (closed, full or error)
//   ... client.on_hdlc_ready() once the driver can take frames again
//   ... client.on_hdlc_receive(frame) for every received frame, an empty
//       one included (the line may send flags with nothing between them)
//   ... client.on_hdlc_error(HDLC::Notify::Cause::readFail) after a failed
//       read, or once the descriptor hung up or failed with nothing to read;
//       the channel has closed itself by then
//
// Activation first closes the previous channel and zeroes the counters.
// Whatever releases the channel (deactivation, a failed read, re-activation,
// destruction) first undoes every route of the cross-connect that still has
// the channel's number at either end, whoever made it (the activation, or
// the owner's connections): the driver hands the number to the next
// allocation, and a route left behind would carry that user's frames into
// this channel's old TDM channels, and their frames to it. A released channel
// has no number, so nothing later touches one it no longer holds. None of
// them touches the client. Callbacks run inside the loop's service of the
// channel's descriptor; a client may deactivate, re-activate or unbind the
// channel from inside any of them. Loop thread only.
#pragma once

#include <stdint.h>

#include <iosfwd>

#include "foundation/event.h"
#include "foundation/fd.h"
#include "net/hdlc_channel.h"
#include "net/packet.h"

// The transmit side of an HDLC channel, as a link layer sees it, with its
// state.
class GenericHDLC : public HdlcChannel {
 public:
  virtual bool is_open() const = 0;
  // The driver took the last frame; false after a write that would block,
  // until the client's on_hdlc_ready().
  virtual bool is_ready() const = 0;
};

class HDLC : public GenericHDLC {
 public:
  // `mode` values.
  static constexpr unsigned kModeSs7 = 0;       // SS7 link: allocation type 3
  static constexpr unsigned kModeStandard = 1;  // PRI D channel, HDLC packets: type 0
  static constexpr unsigned kModeBriD = 2;      // BRI D channel, own transmit channel: type 1

  struct Params {
    unsigned trunk = 0;     // informational
    unsigned timeslot = 0;  // shown in the log prefix
    int tdm = -1;           // received from; in modes 0 and 1 also transmitted into
    int tx_tdm = -1;        // transmitted into in mode 2
    unsigned mode = 0;
  };

  struct Statistics {
    uint32_t txSU = 0;        // frames written
    uint32_t txDiscard = 0;   // frames refused because the channel is closed
    uint32_t txError = 0;     // failed writes
    uint32_t txOverflow = 0;  // never counted; reported as 0
    uint32_t rxSU = 0;        // frames received
  };

  // The receive side, implemented by the link layer.
  using Notify = HdlcNotify;

  // Where the channel's descriptor comes from. By default a controller
  // channel allocated as the mode says, which activation joins to the TDM
  // channels of the parameters.
  class Device {
   public:
    virtual ~Device() = default;
    // An open, non-blocking descriptor, *number := the channel's number in
    // the cross-connect numbering; an empty Fd (the failure logged) when it
    // cannot.
    virtual Fd Open(const HDLC& channel, int* number) const = 0;
    // The name of the descriptor's event (the status dump lists it).
    virtual const char* EventName() const = 0;
    // True: activation joins the channel to the TDM channels of the
    // parameters. False: the owner's connections join it.
    virtual bool JoinsParams() const = 0;
    // What the channel's lines begin with; null: the channel's trunk and
    // timeslot ("hdlc [trunk/timeslot]: ", traces "HDLC[trunk]: "), which
    // only a channel on the parameters' TDM channels has.
    virtual const char* LogPrefix() const { return nullptr; }
  };

  HDLC();
  ~HDLC() override;
  HDLC(const HDLC&) = delete;
  HDLC& operator=(const HDLC&) = delete;

  void params(const Params& p) { params_ = p; }
  const Params& params() const { return params_; }
  void trunk(unsigned trunk) { trunk_ = trunk; }
  void logLevel(unsigned level) { logLevel_ = level; }
  // REQUIRES: `client` outlives the binding (or is null: the shared stub).
  void bind(Notify* client);
  void unbind();
  const Statistics& statistics() const { return stats_; }
  // REQUIRES: `device` outlives the channel (null: the default).
  void device(const Device* device);

  // Opens the channel on its device (by default: allocates and numbers a
  // controller channel) and, when the device says so, joins it to the TDM
  // channel(s) of the parameters; false (logged) when the device, the
  // allocation or the numbering fails. Cross-connect failures are the
  // cross-connect's to log.
  bool activate();
  void deactivate();

  bool hdlc_transmit(Packet& frame) override;
  bool is_open() const override { return event_.IsActive(); }
  bool is_ready() const override { return ready_; }

  // The channel's cross-connect number while open (as the device gave it,
  // negative included), else -1.
  int channelNumber() const { return channel_; }
  // The open descriptor, for requests of its device; -1 when closed.
  int descriptor() const { return event_.lowlevel_fd(); }

  // What the channel's lines begin with: the device's own prefix, or else
  // "hdlc [trunk/timeslot]: " (frame traces: "HDLC[trunk]: ").
  enum class Line { log, frameTrace };
  void PutHeader(std::ostream& os, Line line = Line::log) const;

 private:
  void OnEvent(int fd, short revents);
  // False when the read failed and closed the channel.
  bool Read(short revents);
  void ReadFailed(const char* reason);
  void Close();
  // Undoes the routes that join the channel's number to TDM channels, each
  // unless the cross-connect has switched something else in since.
  void Unroute();

  bool ready_ = false;
  Params params_;
  Statistics stats_;
  Event event_;
  unsigned logLevel_ = 0;
  unsigned trunk_ = 0;
  Notify* notify_;
  const Device* device_;
  int channel_ = -1;
  // Changes with every activation and deactivation, so that the event
  // handler sees a client that re-activated or closed the channel.
  unsigned generation_ = 0;
};
