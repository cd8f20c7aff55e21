// A LAPD link between a fake channel below and a recording layer 3 above,
// on the virtual clock. Everything that crosses either edge is one line of
// `log`: "tx <hex>" (sent on the channel), "rx <hex>" (fed to the link),
// "up <hex>" (information passed up), "activated", "released <text>",
// "status <text>", "+<ms>" (virtual time run).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/testing/loop_runner.h"
#include "net/hdlc_channel.h"
#include "net/packet.h"
#include "net/protocol.h"
#include "signalling/lapd/lapd.h"
#include "signalling/lapd/lapd_nt.h"
#include "tests/foundation/loop_fixture.h"
#include "tests/support/golden.h"

namespace LapdTest {

inline std::string hex(const Packet& p) {
  std::string s;
  char b[4];
  for (unsigned i = 0; i < p.length(); ++i) {
    std::snprintf(b, sizeof b, i ? " %02X" : "%02X", *p[static_cast<int>(i)]);
    s += b;
  }
  return s;
}

// "02 01 7F" -> a packet with 8 octets of headroom.
inline Packet bytes(const std::string& text) {
  Packet p;
  p.reserve_head(8);
  std::istringstream in(text);
  unsigned v;
  while (in >> std::hex >> v) p.put8(static_cast<std::uint8_t>(v));
  return p;
}

using Log = std::vector<std::string>;

struct FakeChannel : HdlcChannel {
  explicit FakeChannel(Log& l) : log(l) {}
  bool hdlc_transmit(Packet& frame) override {
    if (refuse) return false;
    log.push_back("tx " + hex(frame));
    return true;
  }
  Log& log;
  bool refuse = false;
};

// The family around the link records what reaches layer 3.
struct Upper : ProtocolsFamily {
  explicit Upper(Log& l) : log(l) {}
  void on_activated(Protocol*) override { log.push_back("activated"); }
  void on_deactivated(Protocol*, Protocol_status s) override { log.push_back("released " + s->message()); }
  void on_message(Packet& p) override { log.push_back("up " + hex(p)); }
  void on_status(Protocol_status s) override {
    if (record_status) log.push_back("status " + s->message());
  }
  Log& log;
  bool record_status = true;
};

// The bottom of a LAPD_NT stack: frames sent down are logged.
struct FakeLine : Protocol {
  explicit FakeLine(Log& l) : log(l) {}
  void message(Packet& p) override { log.push_back("tx " + hex(p)); }
  Log& log;
};

// What both fixtures share: the log, the family above, virtual time.
class Link : public FoundationTest::LoopFixture {
 protected:
  Link() : upper_(log_) {}
  void run(unsigned ms) {
    log_.push_back("+" + std::to_string(ms));
    LoopTest::runFor(ms);
  }
  Log take() {
    Log l;
    l.swap(log_);
    return l;
  }
  LoopTest::IdleDescriptor idle_;
  Log log_;
  Upper upper_;
};

class UserLink : public Link {
 protected:
  UserLink() : channel_(log_) {
    lapd_ = new ISDN::LAPD(ISDN::Side::user, 0);
    lapd_->hdlc(&channel_);
    upper_.add_protocol_tail(lapd_);
  }
  void rx(const std::string& frame) {
    log_.push_back("rx " + frame);
    Packet p = bytes(frame);
    lapd_->on_hdlc_receive(p);
  }
  void send(const std::string& info) {
    Packet p;
    upper_.prepare_head(p);
    Packet b = bytes(info);
    p.put(b);
    lapd_->message(p);
  }
  // Brings the link to multiple-frame established with a clean log.
  void establish() {
    upper_.activate();
    rx("02 01 73");
    log_.clear();
  }
  FakeChannel channel_;
  ISDN::LAPD* lapd_;  // owned by upper_
};

class NetworkBri : public Link {
 protected:
  NetworkBri() {
    upper_.add_protocol_tail(new FakeLine(log_));
    nt_ = static_cast<ISDN::LAPD_NT*>(upper_.add_protocol_tail(new ISDN::LAPD_NT));
  }
  void rx(const std::string& frame) {
    log_.push_back("rx " + frame);
    Packet p = bytes(frame);
    nt_->receive(p);
  }
  void send(const std::string& msg) {
    Packet p = bytes(msg);
    nt_->message(p);
  }
  ISDN::LAPD_NT* nt_;  // owned by upper_
};

// The transcript as text, compared whole with the file beside the test.
inline void expect_golden(const char* source, const std::string& name, const Log& log) {
  std::string text;
  for (const std::string& line : log) text += line + "\n";
  TestGolden::Expect(TestGolden::Beside(source, name), text);
}

}  // namespace LapdTest
