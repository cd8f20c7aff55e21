#include "hardware/hw_tests.h"

#include <stdlib.h>
#include <unistd.h>

#include <iostream>

#include "core/hw_mux.h"
#include "foundation/text_output.h"

HwTests& HwTests::instance() {
  static HwTests service;
  return service;
}

HwMux& HwTests::Mux() { return mux_ ? *mux_ : HwMux::instance(); }

void HwTests::PutHeader(std::ostream& os) const { os << "bus " << bus_ << ": "; }

bool HwTests::OnCommand(const LGCP::Command& command) {
  if (!command.testBpc_isSelected()) return false;
  OnTestBpc(command.get_testBpc());
  return true;
}

void HwTests::OnTestBpc(const LGCP::BpcTestParams& params) {
  bus_ = static_cast<int>(params.get_bus().getValue());
  first_ = 8192u + 128u * static_cast<unsigned>(bus_) + params.get_timeslot_start().getValue();
  end_ = first_ + params.get_timeslot_length().getValue();
  seed_ = params.get_seed().getValue();
  srandom(static_cast<unsigned>(seed_));
  const LGCP::BpcTestMode& mode = params.get_mode();
  if (mode.read_isSelected())
    TestRead();
  else if (mode.write_isSelected())
    TestWrite();
  else
    TestDisconnect();
}

bool HwTests::Compare(const char* failed, const char* expected, const char* got) {
  for (unsigned channel = first_; channel < end_; ++channel) {
    unsigned char want = static_cast<unsigned char>(random() & 0xFF);
    unsigned char have = static_cast<unsigned char>(Mux().Read(static_cast<int>(channel)) & 0xFF);
    if (want == have) continue;
    std::cerr << ext::header(this) << failed << (channel & 127) << expected << ext::hex(&want, &want + 1)
              << got << ext::hex(&have, &have + 1) << std::endl;
    Error(LGCP::ErrorCause::busError);
    return false;
  }
  return true;
}

void HwTests::TestRead() {
  if (Compare("test failed on channel ", " expected ", " read ")) Success();
}

void HwTests::TestWrite() {
  for (unsigned channel = first_; channel < end_; ++channel)
    Mux().Write(static_cast<int>(channel), static_cast<unsigned char>(random() & 0xFF));
  usleep(500);
  srandom(static_cast<unsigned>(seed_));
  if (Compare("write failed on channel ", " write ", " written ")) Success();
}

// The cross-connect's answers are not looked at: the controller only learns
// that the channels were told to stop.
void HwTests::TestDisconnect() {
  for (unsigned channel = first_; channel < end_; ++channel) Mux().Disable(static_cast<int>(channel));
  usleep(250);
  Success();
}
