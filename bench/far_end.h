// The far end of one signalling link in the benchmarks: the line side of a
// trunk timeslot, served by a second instance of our own link engine (LAPD,
// network side; or MTP2), or, against the bare relay, by nothing at all.
//
// Every information field it sends ends in a 6-octet tag: the link index (2
// octets) and a per-link counter (4 octets), high octets first. The echo of
// each one must come back exactly once and in order; the owner hears each
// echo through Sink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/event.h"
#include "foundation/timer.h"
#include "net/protocol.h"
#include "net/hdlc_channel.h"

namespace Bench {

enum class LinkKind { isdn, ss7 };

class FarEnd : public ProtocolsFamily, public HdlcChannel {
 public:
  class Sink {
   public:
    virtual ~Sink() = default;
    virtual void OnEcho(unsigned link) = 0;
    virtual void OnFailure(const std::string& text) = 0;
  };

  // `line` is the line-side socket (owned from now on). With `bare` no engine
  // runs: frames go out with a fixed header and come back as they were sent.
  FarEnd(Sink& sink, unsigned index, int line, LinkKind kind, bool bare);
  ~FarEnd() override;

  // Takes `line` (owned from now on) in place of the line-side socket, say
  // the controller channel that the board hands over.
  void ReplaceLine(int line);
  // Starts the engine: MTP2 aligns; LAPD waits for the SABME of the user
  // side across the line (bare: up at once).
  void Start();
  // Sends the next tagged information field.
  void Send();
  // Up: the engine reached multiple-frame established or in service.
  bool up() const { return up_; }
  // SS7 alignment: while `on` and the link is out of alignment, its SIO is
  // sent again every 20 ms, as the board's HDLC driver repeats it.
  void RepeatIdle(bool on);
  std::uint32_t sent() const { return sent_; }
  std::uint32_t received() const { return next_; }

  // The family around the engine.
  void on_activated(Protocol*) override { up_ = true; }
  void on_deactivated(Protocol*, Protocol_status status) override;
  void on_message(Packet& packet) override { Check(packet.data(), packet.length()); }
  // The engine's frames to the line.
  bool hdlc_transmit(Packet& frame) override;

 private:
  void OnLine(int fd, short revents);
  void OnRepeat();
  void Check(const unsigned char* info, std::size_t length);
  bool Write(const unsigned char* frame, std::size_t length);

  Sink& sink_;
  unsigned index_;
  int line_;
  LinkKind kind_;
  bool bare_;
  bool up_ = false;
  Protocol* engine_ = nullptr;  // owned by the family
  Event event_;
  Timer repeat_;
  bool repeating_ = false;
  std::string last_out_;  // the last FISU or LSSU sent
  std::uint32_t sent_ = 0, next_ = 0;
};

}  // namespace Bench
