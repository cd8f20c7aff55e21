#include "tests/support/server_process.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "board/sim/descriptor_passing.h"
#include "tests/support/temp_dir.h"

#ifndef GW_SERVER_BINARY
#error "GW_SERVER_BINARY names the server executable"
#endif

namespace E2E {

namespace {

bool WriteFile(const char* path, const std::string& text) { return bool(std::ofstream(path) << text << std::flush); }

std::string Errno(const std::string& what) { return what + ": " + strerror(errno); }

// The exit status once the process has ended (reaped), else -1.
int Reap(pid_t& pid) {
  int status;
  if (pid <= 0 || ::waitpid(pid, &status, WNOHANG) != pid) return -1;
  pid = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

unsigned long long NowMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<unsigned long long>(ts.tv_sec) * 1000ULL + ts.tv_nsec / 1000000;
}

std::string EnterSandbox() {
  const uid_t uid = getuid(), gid = getgid();
  if (::unshare(CLONE_NEWNS | CLONE_NEWNET | (uid != 0 ? CLONE_NEWUSER : 0)) != 0) return Errno("unshare");
  if (uid != 0) {
    WriteFile("/proc/self/setgroups", "deny");
    if (!WriteFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") ||
        !WriteFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n"))
      return Errno("mapping the user to root");
  }
  // Nothing mounted here may reach the machine's own mount table.
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return Errno("making the mounts private");
  for (const char* directory : {"/var/run", "/var/log", "/usr/local/etc"}) {
    if (::mount("tmpfs", directory, "tmpfs", 0, "size=4m") != 0)
      return Errno(std::string("mounting tmpfs on ") + directory);
  }
  int s = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (s < 0) return Errno("socket");
  struct ifreq request;
  memset(&request, 0, sizeof request);
  strcpy(request.ifr_name, "lo");
  bool up = ::ioctl(s, SIOCGIFFLAGS, &request) == 0;
  request.ifr_flags |= IFF_UP;
  up = up && ::ioctl(s, SIOCSIFFLAGS, &request) == 0;
  ::close(s);
  return up ? std::string() : Errno("bringing up lo");
}

ServerProcess::ServerProcess(std::string directory)
    : directory_(std::move(directory)), socket_(directory_ + "/board") {}

ServerProcess::~ServerProcess() {
  if (pid_ > 0 && ::kill(pid_, SIGKILL) == 0) ::waitpid(pid_, nullptr, 0);
}

bool ServerProcess::Start(const std::vector<std::string>& arguments) {
  const std::string out = directory_ + "/stdout", err = directory_ + "/stderr";
  exitStatus_ = -1;
  // Made before the fork: the child only sets up its streams and runs the command.
  std::vector<std::string> words;
  const char* command = getenv("GW_SERVER_COMMAND");
  std::istringstream in(command ? command : "");
  for (std::string word; in >> word;) words.push_back(word);
  if (words.empty()) words.push_back(GW_SERVER_BINARY);
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    ::setenv("GW_SIM_CONTROL", socket_.c_str(), 1);
    ::setenv("GW_SIM_ABSENT", absent_.c_str(), 1);
    ::execvp(argv[0], argv.data());
    _exit(127);
  }
  for (const unsigned long long deadline = NowMs() + 10000; NowMs() < deadline; ::usleep(20000)) {
    if (Board("wd words").compare(0, 2, "ok") == 0) return true;
    if ((exitStatus_ = Reap(pid_)) >= 0) return false;
  }
  return false;
}

void ServerProcess::Signal(int signal) {
  if (pid_ > 0) ::kill(pid_, signal);
}

int ServerProcess::Wait(int timeoutMs) {
  for (const unsigned long long deadline = NowMs() + static_cast<unsigned>(timeoutMs);; ::usleep(10000)) {
    const int status = Reap(pid_);
    if (status >= 0 || pid_ <= 0 || NowMs() >= deadline) return status;
  }
}

std::string ServerProcess::Stdout() const { return TestFiles::ReadFile(directory_ + "/stdout"); }
std::string ServerProcess::Stderr() const { return TestFiles::ReadFile(directory_ + "/stderr"); }

int ServerProcess::BoardTake(const std::string& request, std::string& reply) const {
  int fd = -1;
  reply = Ask(request, -1, &fd);
  return fd;
}

// One request, with a descriptor passed along either way (SCM_RIGHTS).
std::string ServerProcess::Ask(const std::string& request, int give, int* take) const {
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  struct sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  strncpy(address.sun_path, socket_.c_str(), sizeof address.sun_path - 1);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return "no socket";
  }
  std::string line = request + "\n";
  BoardSim::sendWithDescriptor(fd, line.data(), line.size(), give);
  std::string reply;
  char buffer[4096];
  for (;;) {
    struct pollfd p = {fd, POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0) break;
    int passed = -1;
    ssize_t got = BoardSim::receiveWithDescriptor(fd, buffer, sizeof buffer, passed);
    if (got <= 0) break;
    if (passed >= 0) {
      if (take && *take < 0)
        *take = passed;
      else
        ::close(passed);
    }
    reply.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  if (!reply.empty() && reply.back() == '\n') reply.pop_back();
  return reply;
}

int ServerProcess::WatchdogPings() const {
  std::string words = Board("wd words");
  int pings = 0;
  for (size_t at = words.find(" PING"); at != std::string::npos; at = words.find(" PING", at + 1)) ++pings;
  return words.compare(0, 2, "ok") == 0 ? pings : -1;
}

int ServerProcess::Descriptors() const {
  DIR* directory = pid_ > 0 ? ::opendir(("/proc/" + std::to_string(pid_) + "/fd").c_str()) : nullptr;
  if (!directory) return -1;
  int count = 0;
  while (struct dirent* entry = ::readdir(directory)) count += entry->d_name[0] != '.';
  ::closedir(directory);
  return count;
}

long ServerProcess::ResidentOutsidePoolKb() const {
  std::ifstream smaps("/proc/" + std::to_string(pid_) + "/smaps");
  long total = pid_ > 0 && smaps ? 0 : -1, kb;
  unsigned long long start, end;
  char access[5];
  bool pool = false;
  for (std::string line; std::getline(smaps, line);) {
    // The pool: an anonymous writable mapping at least as large as the pool.
    if (sscanf(line.c_str(), "%llx-%llx %4s", &start, &end, access) == 3)
      pool = line.find_first_of("/[") == std::string::npos && end - start >= 1024ULL * 65536ULL &&
             strcmp(access, "rw-p") == 0;
    else if (sscanf(line.c_str(), "Rss: %ld", &kb) == 1 && !pool)
      total += kb;
  }
  return total;
}

void Controller::Close(bool reset) {
  if (fd_ < 0) return;
  struct linger abort = {1, 0};
  if (reset) ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  ::close(fd_);
  fd_ = -1;
  buffer_.clear();
  read_ = 0;
}

bool Controller::Connect(int port, int timeoutMs) {
  Close();
  for (const unsigned long long deadline = NowMs() + static_cast<unsigned>(timeoutMs);; ::usleep(20000)) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    struct sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return true;
    ::close(fd_);
    fd_ = -1;
    if (NowMs() >= deadline) return false;
  }
}

bool Controller::SendRaw(const std::vector<unsigned char>& bytes) {
  return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

// Reads until `size` unread bytes are buffered.
bool Controller::Fill(size_t size, unsigned long long deadline) {
  while (buffer_.size() - read_ < size) {
    buffer_.erase(0, read_);
    read_ = 0;
    const unsigned long long now = NowMs();
    struct pollfd p = {fd_, POLLIN, 0};
    char chunk[65536];
    const ssize_t got = now < deadline && ::poll(&p, 1, static_cast<int>(deadline - now)) > 0
                            ? ::recv(fd_, chunk, sizeof chunk, 0) : -2;
    if (got <= 0) {
      lastError_ = got == -2 ? "timeout" : got == 0 ? "closed" : strerror(errno);
      return false;
    }
    buffer_.append(chunk, static_cast<size_t>(got));
  }
  lastError_.clear();
  return true;
}

bool Controller::ReceiveFrame(std::vector<unsigned char>& body, int timeoutMs) {
  const unsigned long long deadline = NowMs() + static_cast<unsigned>(timeoutMs);
  if (!Fill(4, deadline)) return false;
  const unsigned char* header = reinterpret_cast<const unsigned char*>(buffer_.data() + read_);
  size_t length = (static_cast<size_t>(header[2]) << 8) | header[3];
  if (header[0] != 3 || header[1] != 0 || length < 4) {
    lastError_ = "bad header";
    return false;
  }
  if (!Fill(length, deadline)) return false;
  body.assign(buffer_.begin() + static_cast<long>(read_ + 4), buffer_.begin() + static_cast<long>(read_ + length));
  read_ += length;
  return true;
}

bool Controller::ClosedByPeer(int timeoutMs) {
  const unsigned long long deadline = NowMs() + static_cast<unsigned>(timeoutMs);
  for (read_ = buffer_.size(); Fill(1, deadline);) read_ = buffer_.size();
  return lastError_ == "closed" || lastError_ == strerror(ECONNRESET);
}

}  // namespace E2E
