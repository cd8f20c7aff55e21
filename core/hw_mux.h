// The board's TDM cross-connect (time-slot switch) on "/dev/hal".
//
// Every 8-bit TDM channel has one number in one channel space:
//   E1 trunk t, timeslot s        32 * t + s            (0..127)
//   BRI port p, channel c         4 * p + c             (0..31, the numbers of E1 trunk 0)
//   shared bus b, channel c       8192 + 128 * b + c    (8192..10239)
//   HDLC, DSP, RTP, mixer, modem  whatever their own driver reports
// The cross-connect passes every number to the driver unchanged; only the
// shared-bus range has state here: a table that remembers, per bus channel,
// whether it is disabled (kDisabled), driven with a constant (kConstant) or
// connected (the source's low 16 bits). Disabled bus channels are disabled
// again, 128 entries per run of a deferred call, so that a bus channel that
// nobody owns is never left driven by this board.
//
// Besides, it remembers for every destination the source it last switched
// onto it, so that a user can undo its own route without breaking one that
// somebody else has made into the same destination since.
//
// The device is opened on first use and, while it is missing, again on every
// request; the first successful open disables all 2048 bus channels and starts
// the refresh. It is never closed while the process runs.
//
// All messages go to the standard log stream, failures included. Loop thread
// only.
#pragma once

#include <stdint.h>

#include <iosfwd>
#include <unordered_map>

#include "foundation/dpc.h"
#include "foundation/fd.h"

class HwMux {
 public:
  static constexpr int kBusFirst = 8192;
  static constexpr int kBusChannels = 2048;
  static constexpr uint16_t kDisabled = 0xFFFF;
  static constexpr uint16_t kConstant = 0xFFFE;
  // The byte a disconnected channel carries.
  static constexpr unsigned char kIdleByte = 0xD5;

  // The process's cross-connect, built (and opened) on the first call.
  static HwMux& instance();

  // Logs "hwMux: init", tries the open once and binds the refresh. Production
  // uses instance(); tests build their own to start from a closed device.
  HwMux();
  ~HwMux();
  HwMux(const HwMux&) = delete;
  HwMux& operator=(const HwMux&) = delete;

  // Opens the device unless it is open already; an open that succeeds
  // disables every bus channel first (OpenAndDisableBus). True when open.
  // Every request below starts here.
  bool OpenIfClosed();

  // Switches `source` onto `destination`. False (logged) when the device is
  // missing, a channel is negative, or the driver refuses. A bus channel's
  // table entry changes only when the driver accepted the request.
  bool Connect(int source, int destination);
  // Idles a destination channel: writes kIdleByte onto it.
  bool Disconnect(int channel);
  // Stops driving a destination channel. A bus channel is marked disabled
  // even when the driver refuses, so the refresh keeps trying.
  bool Disable(int channel);
  // Drives a constant byte onto a channel.
  bool Write(int channel, unsigned char value);
  // Idles `destination` (as Disconnect) only while `source` is still the
  // source last switched onto it; true when it did. Nothing happens, and
  // nothing is logged, when another request has changed the destination since.
  bool DisconnectRoute(int source, int destination);
  // Undoes, as DisconnectRoute, every route that still has `channel` at
  // either end: the one into it and those out of it (in ascending order of
  // destination). For a channel that is about to be given up: its number
  // goes to the next user, whom a route left behind would join to this
  // user's TDM channels. Answers how many routes it undid.
  unsigned DisconnectRoutesOf(int channel);
  // The source last switched onto `destination`; -1 when none, or when a
  // disconnect, disable or write has changed it since.
  int SourceOf(int destination) const;
  // The byte the channel carries (low 8 bits of the driver's answer); 255
  // when it cannot be read.
  int Read(int channel);

  // Disables bus channel kBusFirst + index again when its entry is kDisabled.
  void RefreshChannel(int index);
  // The refresh pass: the next 128 table entries, cyclically.
  void OnDPC();
  // Does nothing; kept for the drivers' interface.
  void Reset() {}

  void PutHeader(std::ostream& os) const;

  // Inspection for tests and the status dump.
  uint16_t BusEntry(int index) const { return table_[index]; }
  int RefreshPosition() const { return refresh_; }
  bool IsOpen() const { return fd_.is_valid(); }

 private:
  static bool IsBusChannel(int channel) {
    return channel >= kBusFirst && channel < kBusFirst + kBusChannels;
  }
  // Opens "/dev/hal", disables all 2048 bus channels and starts the refresh;
  // false (logged) when the device does not open.
  bool OpenAndDisableBus();
  bool WriteRequest(int channel, unsigned char value);
  void SetEntry(int channel, uint16_t value);
  // The destination is no longer driven by a source this process switched.
  void ForgetSource(int channel) { sources_.erase(channel); }

  Fd fd_;
  uint16_t table_[kBusChannels] = {};
  // Destination -> source, for every route Connect made that still stands
  // (all channels; the bus table keeps only 16 bits of a source).
  std::unordered_map<int, int> sources_;
  int refresh_ = 0;
  Dpc dpc_;
};

// A debugging aid that nothing calls: prints up to 10 frames of the current
// call stack on standard output.
void print_trace();
