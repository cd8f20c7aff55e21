// Fuzz target over the control server's handling of one frame body.
//
// The input is one TPKT body as the controller's connection would deliver
// it. It goes to CtrlSrv::Server::OnMessage with what the server binds
// (heartbeat, slot table, monitoring) and the slot factories it builds, on
// the simulated board, over a connected socket pair whose far end swallows
// the answers. After each input the controller is taken to be gone (every
// slot destroyed, as on a real loss), and every packet pool block must be
// free again: no crash, no leak, whatever the bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <streambuf>

#include "core/ctrl_server.h"
#include "core/hw_mux.h"
#include "core/slots.h"
#include "net/control_service.h"
#include "net/packet.h"
#include "server/assembly.h"
#include "tests/core/pair_transport.h"

namespace {

using CoreTest::PairTransport;

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

unsigned NoPause(unsigned) { return 0; }

PairTransport* Setup() {
  static NullBuffer null;
  std::cout.rdbuf(&null);
  std::cerr.rdbuf(&null);
  std::clog.rdbuf(&null);
  CreateSlotFactories();
  HwMux::instance();
  Slots::SetSleepFunction(NoPause);
  BindControlServices();
  PairTransport* transport = new PairTransport;
  if (!CtrlSrv::ctrlServer.Activate(transport)) abort();
  // The server, a global, outlives the services built above on first use:
  // end its connection at exit while they still live.
  std::atexit([] { CtrlSrv::ctrlServer.Deactivate(); });
  return transport;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static PairTransport* const transport = Setup();
  if (size > 65531) return 0;  // more than one TPKT frame can carry
  CtrlSrv::ctrlServer.OnMessage(reinterpret_cast<const char*>(data), static_cast<int>(size));
  transport->Drain();
  if (!transport->IsConnected()) abort();  // nothing here may end the connection
  Slots::instance().OnDisconnect();
  if (!Slots::instance().GetLive().empty()) abort();
  if (Packet_pool::free_count() != Packet_pool::capacity) abort();
  return 0;
}
