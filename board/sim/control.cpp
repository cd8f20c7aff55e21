#include "board/sim/control.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <sstream>
#include <vector>

#include "board/board.h"
#include "board/sim/descriptor_passing.h"
#include "board/sim/devices.h"
#include "board/sim/e1_cas.h"
#include "board/sim/hal.h"
#include "board/sim/maintenance.h"
#include "board/sim/mcc.h"
#include "board/sim/pump.h"
#include "board/sim/sim_board.h"
#include "board/sim/work_meter.h"

namespace BoardSim {

const char* const kControlEnvironment = "GW_SIM_CONTROL";

namespace {

const size_t kMaxLine = 255;
// How long a connected client may take to send its line. The loop stands
// still meanwhile, so this stays short.
const int kReadWaitMs = 500;

bool number(const std::string& text, long& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long result = strtol(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0') return false;
  value = result;
  return true;
}

bool channelArgument(const std::vector<std::string>& words, size_t index, int& channel,
                     std::string& error) {
  long value;
  if (words.size() <= index || !number(words[index], value) || value < 0 || value > 0x7FFFFFFF) {
    error = "error bad channel";
    return false;
  }
  channel = static_cast<int>(value);
  return true;
}

std::string countsReply(const Hal::Counts& counts) {
  std::ostringstream out;
  out << "ok connect " << counts.connect << " disable " << counts.disable << " write "
      << counts.write << " read " << counts.read;
  return out.str();
}

std::string halCommand(const std::vector<std::string>& words) {
  Hal& model = hal();
  const std::string& verb = words.size() > 1 ? words[1] : std::string();
  if (verb == "totals" && words.size() == 2) return countsReply(model.totals());
  if (verb == "clock" && words.size() == 2)
    return "ok " + std::to_string(model.clockSource()) + " " + std::to_string(model.clockSelects());
  long spiChannel, address, value;
  if (verb == "spi" && (words.size() == 4 || words.size() == 5) && number(words[2], spiChannel) &&
      number(words[3], address) && spiChannel >= 0 && spiChannel < Hal::kSpiChannels && address >= 0 &&
      address < 256) {
    if (words.size() == 4)
      return "ok " + std::to_string(model.spiRegister(static_cast<int>(spiChannel), static_cast<int>(address)));
    if (!number(words[4], value) || value < 0 || value > 255) return "error bad byte";
    model.setSpiRegister(static_cast<int>(spiChannel), static_cast<int>(address), static_cast<uint8_t>(value));
    return "ok";
  }
  int channel;
  std::string error;
  if (verb == "put" && words.size() == 4) {
    long byte;
    if (!channelArgument(words, 2, channel, error)) return error;
    if (!number(words[3], byte) || byte < 0 || byte > 255) return "error bad byte";
    model.put(channel, static_cast<uint8_t>(byte));
    return "ok";
  }
  if (words.size() != 3) return "error unknown command";
  if (!channelArgument(words, 2, channel, error)) return error;
  if (verb == "clear") {
    model.clearPut(channel);
    return "ok";
  }
  if (verb == "get") return "ok " + std::to_string(model.carried(channel));
  if (verb == "counts") return countsReply(model.counts(channel));
  if (verb == "state") {
    Hal::ChannelState state = model.state(channel);
    switch (state.drive) {
      case Hal::Drive::Source:
        return "ok source " + std::to_string(state.source);
      case Hal::Drive::Constant:
        return "ok const " + std::to_string(state.byte);
      case Hal::Drive::None:
        break;
    }
    return "ok none";
  }
  return "error unknown command";
}

std::string e1Command(const std::vector<std::string>& words) {
  Maintenance& model = maintenance();
  if (words.size() == 2 && words[1] == "tclk")
    return "ok " + std::to_string(model.tclkMask()) + " " + std::to_string(model.tclkWrites());
  static const char* const names[] = {"slips", "lossBF", "lossCarrier", "ais", "rai", "state"};
  long trunk, value;
  if (words.size() != 5 || words[1] != "set" || !number(words[2], trunk) || !number(words[4], value))
    return "error unknown command";
  for (int i = 0; i < 6; ++i) {
    if (words[3] != names[i]) continue;
    if (!model.set(static_cast<int>(trunk), static_cast<Maintenance::Field>(i), static_cast<int32_t>(value)))
      return "error bad trunk";
    return "ok";
  }
  return "error bad field";
}

std::string casCommand(const std::vector<std::string>& words) {
  E1Cas& model = e1Cas();
  long trunk, timeslot, rx;
  if (words.size() < 4 || !number(words[2], trunk) || !number(words[3], timeslot))
    return "error unknown command";
  if (words[1] == "receive" && words.size() == 5 && number(words[4], rx))
    return model.receive(static_cast<int>(trunk), static_cast<int>(timeslot), static_cast<uint8_t>(rx))
               ? "ok"
               : "error bad channel";
  uint8_t in, out;
  if (words[1] == "bits" && words.size() == 4) {
    if (!model.bits(static_cast<int>(trunk), static_cast<int>(timeslot), in, out)) return "error bad channel";
    return "ok " + std::to_string(in) + " " + std::to_string(out) +
           (model.trunkOpen(static_cast<int>(trunk)) ? " open" : " closed");
  }
  return "error unknown command";
}

std::string lineCommand(const std::vector<std::string>& words, int received, int* handed) {
  Mcc& model = mcc();
  const std::string& verb = words.size() > 1 ? words[1] : std::string();
  int tdm, other;
  std::string error;
  if (verb == "counts" && words.size() == 2) {
    Mcc::Counts c = model.counts();
    return "ok channels " + std::to_string(c.fromChannels) + " lines " + std::to_string(c.fromLines) +
           " delivered " + std::to_string(c.delivered) + " dropped " + std::to_string(c.dropped);
  }
  if (verb == "channels" && words.size() == 2) {
    std::string reply = "ok";
    for (int number : model.numbers()) reply += " " + std::to_string(number);
    return reply;
  }
  if (verb == "tap" && words.size() == 3) {
    long value;
    if (!handed) return "error no descriptor passing here";
    if (!number(words[2], value) || value < Mcc::kFirstNumber || value > Mcc::kLastNumber)
      return "error bad channel";
    *handed = model.tapChannel(static_cast<int>(value));
    return *handed < 0 ? "error " + std::string(strerror(errno)) : "ok";
  }
  if (!channelArgument(words, 2, tdm, error)) return error;
  if (verb == "attach" && words.size() == 3) {
    if (!handed) return "error no descriptor passing here";
    *handed = model.attachLine(tdm);
    return *handed < 0 ? "error " + std::string(strerror(errno)) : "ok";
  }
  if (verb == "plug" && words.size() == 3) {
    if (received < 0) return "error no descriptor received";
    int fd = ::dup(received);
    return model.plugLine(tdm, fd) ? "ok" : "error bad descriptor";
  }
  if (verb == "join" && words.size() == 4) {
    if (!channelArgument(words, 3, other, error)) return error;
    return model.joinLines(tdm, other) ? "ok" : "error cannot join";
  }
  if (verb == "detach" && words.size() == 3) {
    model.detachLine(tdm);
    return "ok";
  }
  return "error unknown command";
}

std::string deviceCommand(const std::vector<std::string>& words) {
  const std::string& verb = words[0];
  if (words.size() < 2) return "error unknown command";
  Device* device = find(words[1]);
  if (!device) return "error no device " + words[1];
  if (verb == "clear" && words.size() == 2) {
    device->clearFailures();
    return "ok";
  }
  if (verb == "present" && words.size() == 3) {
    if (words[2] != "0" && words[2] != "1") return "error bad flag";
    device->setPresent(words[2] == "1");
    return "ok";
  }
  if (verb == "fail" && (words.size() == 4 || words.size() == 5)) {
    long error, times = -1;
    // Request codes have the top bit set: read them as unsigned 32-bit.
    errno = 0;
    char* end = nullptr;
    unsigned long long code = strtoull(words[2].c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || words[2][0] == '-' || code > 0xFFFFFFFFULL)
      return "error bad request";
    if (!number(words[3], error) || error <= 0 || error > 4095) return "error bad errno";
    if (words.size() == 5 && (!number(words[4], times) || times < 0)) return "error bad count";
    device->failRequest(static_cast<unsigned long>(code), static_cast<int>(error), static_cast<int>(times));
    return "ok";
  }
  return "error unknown command";
}

// The listening socket, opened on first use when the environment asks for it.
class ControlSocket {
 public:
  static ControlSocket& instance() {
    static ControlSocket socket;
    return socket;
  }
  ControlSocket(const ControlSocket&) = delete;
  ControlSocket& operator=(const ControlSocket&) = delete;

  int descriptor() const { return fd_; }

  void serve() {
    if (fd_ < 0) return;
    for (;;) {
      int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) return;  // EAGAIN: nothing more pending
      answer(client);
      ::close(client);
    }
  }

 private:
  ControlSocket() {
    const char* path = getenv(kControlEnvironment);
    if (!path || !*path) return;
    struct sockaddr_un address;
    memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (strlen(path) >= sizeof address.sun_path) return;
    strcpy(address.sun_path, path);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    ::unlink(path);  // a socket left by an earlier run
    if (::bind(fd, reinterpret_cast<struct sockaddr*>(&address), sizeof address) < 0 ||
        ::listen(fd, 8) < 0) {
      ::close(fd);
      return;
    }
    fd_ = fd;
    Pump::instance().watch(fd_, EPOLLIN, [this](uint32_t) { serve(); });
  }

  static void answer(int client) {
    std::string line;
    char buffer[kMaxLine + 1];
    int received = -1;
    bool complete = false;
    for (;;) {
      struct pollfd p = {client, POLLIN, 0};
      if (::poll(&p, 1, kReadWaitMs) <= 0) break;
      ssize_t got = receiveWithDescriptor(client, buffer, sizeof buffer, received);
      if (got <= 0) break;
      line.append(buffer, static_cast<size_t>(got));
      size_t end = line.find('\n');
      if (end != std::string::npos) {
        line.resize(end);
        complete = true;
        break;
      }
      if (line.size() > kMaxLine) {
        reply(client, "error line too long");
        break;
      }
    }
    if (complete) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      int handed = -1;
      std::string text = controlCommand(line, received, &handed);
      reply(client, text, handed);
      if (handed >= 0) ::close(handed);
    }
    if (received >= 0) ::close(received);
  }

  static void reply(int client, const std::string& text, int handed = -1) {
    std::string out = text + "\n";
    sendWithDescriptor(client, out.data(), out.size(), handed);
  }

  int fd_ = -1;
};

}  // namespace

std::string controlCommand(const std::string& line) { return controlCommand(line, -1, nullptr); }

std::string controlCommand(const std::string& line, int received, int* handed) {
  std::istringstream in(line);
  std::vector<std::string> words;
  std::string word;
  while (in >> word) words.push_back(word);
  if (words.empty()) return "error empty request";
  installDevices(Registry::instance());
  if (words[0] == "hal") return halCommand(words);
  if (words[0] == "line") return lineCommand(words, received, handed);
  if (words[0] == "e1") return e1Command(words);
  if (words[0] == "cas") return casCommand(words);
  if (words[0] == "wd" && words.size() == 2 && words[1] == "words") {
    std::string reply = "ok";
    for (const std::string& w : watchdog().words()) reply += " " + w;
    return reply;
  }
  if (words[0] == "board" && words.size() == 2 && words[1] == "cpu") {
    if (!WorkMeter::enabled()) return "error not metered (GW_SIM_METER=1)";
    return "ok " + std::to_string(WorkMeter::nanoseconds()) + " " + std::to_string(WorkMeter::calls());
  }
  if (words[0] == "fail" || words[0] == "clear" || words[0] == "present")
    return deviceCommand(words);
  return "error unknown command";
}

}  // namespace BoardSim

namespace Board {

// The control socket and the HDLC model's line relay are served through one
// epoll descriptor.
int serviceDescriptor() {
  BoardSim::installDevices(BoardSim::Registry::instance());
  BoardSim::ControlSocket::instance();
  return BoardSim::Pump::instance().descriptor();
}

void service() {
  BoardSim::WorkMeter::Scope metered(BoardSim::WorkMeter::Clock::thread);
  serviceDescriptor();
  BoardSim::Pump::instance().serve();
}

}  // namespace Board
