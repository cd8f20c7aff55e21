#include "foundation/child_wait.h"

#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

#include "foundation/system_signal.h"

int ChildWait::UsageCounter = 0;
ChildWaitService* ChildWaitService::childWaitService = nullptr;

// ---- ChildWait --------------------------------------------------------------

ChildWait::Init::Init() {
  if (++UsageCounter == 1) Initialize();
}

ChildWait::Init::~Init() {
  if (--UsageCounter == 0) Cleanup();
}

ChildWait::ChildWait() : mPid(0), mHandler(new (mStorage) DummyHandler) {}

ChildWait::~ChildWait() {
  mHandler->~Handler();
  Detach();
}

void ChildWait::Attach(int pid) {
  mPid = pid;
  if (ChildWaitService::childWaitService) ChildWaitService::childWaitService->Attach(this);
}

void ChildWait::Detach() {
  if (ChildWaitService::childWaitService) ChildWaitService::childWaitService->Detach(this);
}

void ChildWait::Initialize() { ChildWaitService::childWaitService = new ChildWaitService; }

namespace {
// Where the last service goes at exit; see Cleanup.
ChildWaitService* retiredService = nullptr;
}  // namespace

void ChildWait::Cleanup() {
  // Cleared first, so that a late SIGCHLD finds no service.
  ChildWaitService* service = ChildWaitService::childWaitService;
  ChildWaitService::childWaitService = nullptr;
  if (!service) return;
  if (service->IsActive()) {
    // Cleanup runs during static destruction, and the event loop is another
    // global that may already be gone: leaving its lists would touch freed
    // memory. An active service is therefore left to the process exit, which
    // closes its descriptors.
    retiredService = service;
    return;
  }
  delete service;
}

void ChildWait::Activate() {
  if (ChildWaitService::childWaitService) ChildWaitService::childWaitService->Activate();
}

// ---- ChildWaitService ---------------------------------------------------------

ChildWaitService::ChildWaitService() {}

ChildWaitService::~ChildWaitService() {
  Release();
  mWrite.close();
}

void ChildWaitService::Activate() {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_DGRAM, 0, ends) != 0) {
    std::cerr << "ChildWaitService: initialize fails" << std::endl;
    return;
  }
  mWrite = Fd(ends[0]);
  // The signal handler must never block: a full socket drops the record
  // instead of hanging the process inside the handler.
  mWrite.NonBlock();
  Bind("ChildWaitService::OnChildEvent", &ChildWaitService::OnChildEvent, this);
  Fd read(ends[1]);
  read.NonBlock();
  Schedule(read, POLLIN);
  IPC::Signal::handle(SIGCHLD, &ChildWaitService::SigChldHandlerWrapper, SA_RESTART);
}

void ChildWaitService::SigChldHandlerWrapper(int, siginfo_t*, void*) {
  if (childWaitService) childWaitService->SigChldHandler();
}

void ChildWaitService::SigChldHandler() {
  const int savedErrno = errno;
  int status = 0;
  for (pid_t pid; (pid = ::waitpid(-1, &status, WNOHANG)) > 0;) {
    const int fd = mWrite.lowlevel_fd();
    if (fd < 0) continue;
    int record[2] = {static_cast<int>(pid), status};
    iovec parts[2] = {{&record[0], sizeof(int)}, {&record[1], sizeof(int)}};
    ssize_t ignored = ::writev(fd, parts, 2);
    (void)ignored;
  }
  errno = savedErrno;
}

void ChildWaitService::OnChildEvent(int fd, short revents) {
  if (!(revents & POLLIN)) return;
  for (;;) {
    int pid = 0;
    int status = 0;
    iovec parts[2] = {{&pid, sizeof(int)}, {&status, sizeof(int)}};
    if (::readv(fd, parts, 2) != static_cast<ssize_t>(2 * sizeof(int))) break;
    std::clog << "terminate child process, pid=" << pid << " status=" << status << std::endl;
    for (ChildWait* w = mWaits.get_head(); w; w = w->get_next()) {
      if (w->pid() != pid) continue;
      mWaits.remove(w);
      w->handler().Invoke(*w, status);
      break;
    }
  }
}

bool ChildWaitService::IsAttached(const ChildWait* w) const {
  for (ChildWait* p = mWaits.get_head(); p; p = p->get_next())
    if (p == w) return true;
  return false;
}

void ChildWaitService::Attach(ChildWait* w) {
  if (IsAttached(w)) mWaits.remove(w);
  mWaits.insert_to_tail(w);
}

void ChildWaitService::Detach(ChildWait* w) {
  if (IsAttached(w)) mWaits.remove(w);
}
