// Hardware tests of the shared TDM bus through the cross-connect (`testBpc`).
//
// `write` drives the low bytes of glibc's random() after srandom(seed) onto
// the channels and reads them back; `read` checks the channels carry what the
// same seed gives; `disconnect` disables them. The first mismatch is written
// to the error stream and answered `busError`. The test blocks the loop for
// its whole run. Loop thread only.
#pragma once

#include <iosfwd>

#include "core/ctrl_service.h"

class HwMux;

class HwTests : public CtrlSrv::Service {
 public:
  static HwTests& instance();
  // `mux` null: the process's cross-connect. Production uses instance().
  explicit HwTests(HwMux* mux = nullptr) : mux_(mux) {}

  void OnConnect() override {}
  void OnDisconnect() override {}
  bool OnCommand(const LGCP::Command& command) override;

  void OnTestBpc(const LGCP::BpcTestParams& params);
  void TestRead();
  void TestWrite();
  void TestDisconnect();
  void PutHeader(std::ostream& os) const;

 private:
  HwMux& Mux();
  // Compares the channels with the generator's bytes; false (reported) at
  // the first difference.
  bool Compare(const char* failed, const char* expected, const char* got);

  int bus_ = 0;
  unsigned first_ = 0;
  unsigned end_ = 0;
  int seed_ = 0;
  HwMux* mux_;
};
