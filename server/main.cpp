// The server process: builds the object graph in a fixed order, serves the
// controller from one event loop until SIGTERM or SIGINT, then tears down.
#include <stdlib.h>

#include <iostream>
#include <memory>

#include "server/board_service.h"
#include "core/ctrl_server.h"
#include "core/hw_mux.h"
#include "server/assembly.h"
#include "server/startup.h"
#include "core/trace_ctl.h"
#include "foundation/child_wait.h"
#include "foundation/dpc.h"
#include "foundation/ini_file.h"
#include "foundation/multiplexer.h"
#include "foundation/standard_fds.h"
#include "foundation/system_run.h"
#include "foundation/version.h"
#include "hardware/bus_ctl.h"
#include "monitoring/monitoring_ctl.h"
#include "net/acceptor_net.h"

int main(int argc, char** argv) {
  // Before anything is opened: a supervisor may start us without them.
  FillStandardDescriptors();
  Options options;

  // Configuration: a missing file is silent and leaves every trace off; a
  // refused one (not a regular file, too large) is logged and does the same.
  std::unique_ptr<IniFile::File> config(new IniFile::File);
  if (config->Open("/usr/local/etc/server.conf")) {
    traces = TraceCtl();
    traces.Configure((*config)["traces"]);
  } else if (!config->GetRefusal().empty()) {
    std::cerr << "configuration file " << config->GetFileName()
              << " refused: " << config->GetRefusal() << std::endl;
  }

  InstallSignalHandlers();

  // --disable-clock builds the bus clock service and disables its control at
  // once, while the options are parsed.
  options.disableClock = [] { BusCtl::instance().DisableControl(); };
  int exitCode = ParseOptions(argc, argv, options, std::cout);
  if (exitCode >= 0) exit(exitCode);
  if (print_version) {
    std::cout << "server version: " << Version::current << std::endl;
    exit(2);
  }

  CreateSlotFactories();

  // Opens the device and disables every shared-bus channel before a
  // controller can connect.
  HwMux::instance();
  MonitoringCtl::instance().Configure(*config);

  if (options.daemon) RunDaemon();

  std::unique_ptr<Linux::Run> pidFile(new Linux::Run("server"));
  if (!pidFile->refusal().empty())
    std::cerr << "pid file " << pidFile->path() << " refused: " << pidFile->refusal() << std::endl;
  std::cout << "Starting server [" << Version::current << "], port=" << options.port << std::endl;

  BindControlServices();

  ChildWait::Activate();

  Dpc signals;
  signals.Bind(CheckSignals);
  signals.Activate();

  // The simulated board's test control socket; nothing on the board.
  BoardService boardService;
  boardService.Start();

  // A port that cannot be bound yet is retried by the acceptor.
  CtrlSrv::ctrlServer.Activate(new Control::AcceptorNetCheckConnection(options.port));

  multiplexer.run(true, true);

  CtrlSrv::ctrlServer.Deactivate();
  signals.Deactivate();
  pidFile.reset();
  config.reset();
  return 0;
}
