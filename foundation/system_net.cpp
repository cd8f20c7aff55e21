#include "foundation/system_net.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace Net {

namespace {

const int kMaxInterfaces = 16;

bool InNet(uint32_t address, uint32_t net, int bits) {
  const uint32_t mask = bits == 0 ? 0 : ~0u << (32 - bits);
  return (address & mask) == net;
}

// Walks the selected interfaces; take(socket, request) returns true when it
// appended the entry.
template <class Take>
int Walk(ifconfig_mode_t mode, Take take) {
  const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s < 0) return -1;
  // Sized in entries, so that 16 interfaces fit whatever the size of an
  // entry (32 bytes on the board).
  ifreq entries[kMaxInterfaces];
  std::memset(entries, 0, sizeof(entries));
  ifconf list;
  list.ifc_len = sizeof(entries);
  list.ifc_req = entries;
  if (::ioctl(s, SIOCGIFCONF, &list) < 0) {
    ::close(s);
    return -1;
  }
  const int count = list.ifc_len / static_cast<int>(sizeof(ifreq));
  int taken = 0;
  for (int i = 0; i < count; ++i) {
    ifreq& entry = entries[i];
    if (entry.ifr_addr.sa_family != AF_INET) continue;
    sockaddr_in sin;
    std::memcpy(&sin, &entry.ifr_addr, sizeof(sin));
    char name[IFNAMSIZ + 1];
    std::memcpy(name, entry.ifr_name, IFNAMSIZ);
    name[IFNAMSIZ] = '\0';
    if (!ifconfig_selects(name, ntohl(sin.sin_addr.s_addr), mode)) continue;
    if (::ioctl(s, SIOCGIFADDR, &entry) < 0) continue;
    if (take(s, entry)) ++taken;
  }
  ::close(s);
  return taken;
}

}  // namespace

bool ifconfig_selects(const char* name, uint32_t address, ifconfig_mode_t mode) {
  if (mode == ifconfig_all) return true;
  if ((mode & ifconfig_not_loopback) && strcasecmp(name, "lo") != 0) return true;
  if ((mode & ifconfig_link_local) && InNet(address, 0xA9FE0000u, 16)) return true;
  if ((mode & ifconfig_private) &&
      (InNet(address, 0xC0A80000u, 16) || InNet(address, 0xAC100000u, 12) ||
       InNet(address, 0x0A000000u, 8)))
    return true;
  return false;
}

int ifconfig(std::list<INet4::Addr>& out, ifconfig_mode_t mode) {
  return Walk(mode, [&out](int, ifreq& entry) {
    sockaddr_in sin;
    std::memcpy(&sin, &entry.ifr_addr, sizeof(sin));
    INet4::Addr addr(sin);
    addr.port(0);
    out.push_back(addr);
    return true;
  });
}

int ifconfig(std::list<std::string>& out, ifconfig_mode_t mode, unsigned flags) {
  return Walk(mode, [&out, flags](int s, ifreq& entry) {
    if (::ioctl(s, SIOCGIFFLAGS, &entry) < 0) return false;
    if ((static_cast<unsigned>(static_cast<unsigned short>(entry.ifr_flags)) & flags) != flags)
      return false;
    char name[IFNAMSIZ + 1];
    std::memcpy(name, entry.ifr_name, IFNAMSIZ);
    name[IFNAMSIZ] = '\0';
    out.push_back(name);
    return true;
  });
}

std::string hostname() {
  char name[512];
  if (::gethostname(name, sizeof(name)) != 0) return std::string();
  name[sizeof(name) - 1] = '\0';
  return name;
}

int hostname(const std::string& name) { return ::sethostname(name.c_str(), name.size()); }

}  // namespace Net
