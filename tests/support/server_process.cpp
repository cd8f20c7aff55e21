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
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "board/sim/descriptor_passing.h"

#ifndef GW_SERVER_BINARY
#error "GW_SERVER_BINARY names the server executable"
#endif

namespace E2E {

namespace {

unsigned long long NowMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<unsigned long long>(ts.tv_sec) * 1000ULL + ts.tv_nsec / 1000000;
}

bool WriteFile(const char* path, const std::string& text) {
  int fd = ::open(path, O_WRONLY);
  if (fd < 0) return false;
  bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return ok;
}

std::string Errno(const std::string& what) { return what + ": " + strerror(errno); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> ServerCommand() {
  std::vector<std::string> words;
  const char* command = getenv("GW_SERVER_COMMAND");
  std::istringstream in(command ? command : "");
  for (std::string word; in >> word;) words.push_back(word);
  if (words.empty()) words.push_back(GW_SERVER_BINARY);
  return words;
}

}  // namespace

std::string EnterSandbox() {
  uid_t uid = getuid();
  gid_t gid = getgid();
  int flags = CLONE_NEWNS | CLONE_NEWNET;
  if (uid != 0) flags |= CLONE_NEWUSER;
  if (::unshare(flags) != 0) return Errno("unshare");
  if (uid != 0) {
    WriteFile("/proc/self/setgroups", "deny");
    if (!WriteFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") ||
        !WriteFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n"))
      return Errno("mapping the user to root");
  }
  // Nothing mounted here may reach the machine's own mount table.
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    return Errno("making the mounts private");
  for (const char* directory : {"/var/run", "/var/log", "/usr/local/etc"}) {
    struct stat st;
    if (::stat(directory, &st) != 0 || !S_ISDIR(st.st_mode))
      return std::string(directory) + " is not a directory";
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
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

bool ServerProcess::Start(const std::vector<std::string>& arguments) {
  std::string out = directory_ + "/stdout", err = directory_ + "/stderr";
  exitStatus_ = -1;
  // Made before the fork: a soak test forks while a thread of its own runs.
  std::vector<std::string> words = ServerCommand();
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(o, 1);
    ::dup2(e, 2);
    ::setenv("GW_SIM_CONTROL", socket_.c_str(), 1);
    ::setenv("GW_SIM_ABSENT", absent_.c_str(), 1);
    ::execvp(argv[0], argv.data());
    _exit(127);
  }
  unsigned long long deadline = NowMs() + 10000;
  while (NowMs() < deadline) {
    if (Board("wd words").compare(0, 2, "ok") == 0) return true;
    int status;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return false;
    }
    ::usleep(20000);
  }
  return false;
}

void ServerProcess::Signal(int signal) {
  if (pid_ > 0) ::kill(pid_, signal);
}

int ServerProcess::Wait(int timeoutMs) {
  if (pid_ <= 0) return -1;
  unsigned long long deadline = NowMs() + static_cast<unsigned>(timeoutMs);
  for (;;) {
    int status;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (NowMs() >= deadline) return -1;
    ::usleep(10000);
  }
}

bool ServerProcess::Running() const {
  if (pid_ <= 0) return false;
  siginfo_t info;
  memset(&info, 0, sizeof info);
  return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == 0;
}

std::string ServerProcess::Stdout() const { return ReadFile(directory_ + "/stdout"); }
std::string ServerProcess::Stderr() const { return ReadFile(directory_ + "/stderr"); }

std::string ServerProcess::Board(const std::string& request) const { return Ask(request, -1, nullptr); }

std::string ServerProcess::BoardGive(const std::string& request, int fd) const {
  return Ask(request, fd, nullptr);
}

int ServerProcess::BoardTake(const std::string& request, std::string& reply) const {
  int fd = -1;
  reply = Ask(request, -1, &fd);
  return fd;
}

// One request, with a descriptor passed along either way (SCM_RIGHTS).
std::string ServerProcess::Ask(const std::string& request, int give, int* take) const {
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  struct sockaddr_un address;
  memset(&address, 0, sizeof address);
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
  if (words.compare(0, 2, "ok") != 0) return -1;
  int pings = 0;
  for (size_t at = words.find(" PING"); at != std::string::npos; at = words.find(" PING", at + 1))
    ++pings;
  return pings;
}

int ServerProcess::Descriptors() const {
  if (pid_ <= 0) return -1;
  DIR* directory = ::opendir(("/proc/" + std::to_string(pid_) + "/fd").c_str());
  if (!directory) return -1;
  int count = 0;
  while (struct dirent* entry = ::readdir(directory))
    if (entry->d_name[0] != '.') ++count;
  ::closedir(directory);
  return count;
}

Controller::~Controller() { Close(); }

void Controller::Close(bool reset) {
  if (fd_ < 0) return;
  if (reset) {
    struct linger abort = {1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  }
  ::close(fd_);
  fd_ = -1;
  buffer_.clear();
  read_ = 0;
}

bool Controller::Connect(int port, int timeoutMs) {
  Close();
  unsigned long long deadline = NowMs() + static_cast<unsigned>(timeoutMs);
  for (;;) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer_ > 0)
      ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer_, sizeof receiveBuffer_);
    int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return true;
    ::close(fd_);
    fd_ = -1;
    if (NowMs() >= deadline) return false;
    ::usleep(20000);
  }
}

bool Controller::SendRaw(const std::vector<unsigned char>& bytes) {
  return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

bool Controller::SendFrame(const std::vector<unsigned char>& body) {
  return SendRaw(TestBytes::TpktFrame(body));
}

bool Controller::ReadExactly(unsigned char* out, size_t size, int timeoutMs) {
  unsigned long long deadline = NowMs() + static_cast<unsigned>(timeoutMs);
  while (buffer_.size() - read_ < size) {
    if (read_ > 0) {
      buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(read_));
      read_ = 0;
    }
    unsigned long long now = NowMs();
    struct pollfd p = {fd_, POLLIN, 0};
    if (now >= deadline || ::poll(&p, 1, static_cast<int>(deadline - now)) <= 0) {
      lastError_ = "timeout";
      return false;
    }
    unsigned char chunk[65536];
    ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
    if (got <= 0) {
      lastError_ = got == 0 ? "closed" : strerror(errno);
      return false;
    }
    buffer_.insert(buffer_.end(), chunk, chunk + got);
  }
  memcpy(out, buffer_.data() + read_, size);
  read_ += size;
  lastError_.clear();
  return true;
}

bool Controller::ReceiveFrame(std::vector<unsigned char>& body, int timeoutMs) {
  unsigned char header[4];
  if (!ReadExactly(header, 4, timeoutMs)) return false;
  size_t length = (static_cast<size_t>(header[2]) << 8) | header[3];
  if (header[0] != 3 || header[1] != 0 || length < 4) {
    lastError_ = "bad header";
    return false;
  }
  body.assign(length - 4, 0);
  return length == 4 || ReadExactly(body.data(), body.size(), timeoutMs);
}

bool Controller::ClosedByPeer(int timeoutMs) {
  buffer_.clear();
  read_ = 0;
  unsigned long long deadline = NowMs() + static_cast<unsigned>(timeoutMs);
  for (;;) {
    unsigned long long now = NowMs();
    if (now >= deadline) return false;
    struct pollfd p = {fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(deadline - now)) <= 0) return false;
    char chunk[65536];
    ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
    if (got == 0 || (got < 0 && errno == ECONNRESET)) return true;
    if (got < 0) return false;
  }
}

}  // namespace E2E
