// The IPv4 addresses and names of the network interfaces, and the host name.
#ifndef FOUNDATION_SYSTEM_NET_H
#define FOUNDATION_SYSTEM_NET_H

#include <cstdint>
#include <list>
#include <string>

#include "foundation/inet4_addr.h"

namespace Net {

// Selects interfaces by their IPv4 address; bits combine (an interface is
// taken when it matches any set bit); 0 takes every interface.
enum ifconfig_mode_t : unsigned {
  ifconfig_all = 0,
  ifconfig_not_loopback = 1,  // name other than "lo" (any case)
  ifconfig_link_local = 2,    // 169.254.0.0/16
  ifconfig_private = 4,       // 10.0.0.0/8, 172.16.0.0/12, 192.168.0.0/16
};
inline ifconfig_mode_t operator|(ifconfig_mode_t a, ifconfig_mode_t b) {
  return static_cast<ifconfig_mode_t>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

// Appends the selected interfaces' IPv4 addresses (port 0) in the order the
// kernel lists them; returns how many were appended, or -1 when the socket or
// the interface list cannot be had. At most 16 interfaces are looked at.
int ifconfig(std::list<INet4::Addr>& out, ifconfig_mode_t mode);
// Appends the names of the selected interfaces whose flags hold every bit of
// `flags`; result as above.
int ifconfig(std::list<std::string>& out, ifconfig_mode_t mode, unsigned flags);

// The selection rule of both: `address` in host byte order.
bool ifconfig_selects(const char* name, uint32_t address, ifconfig_mode_t mode);

// The host name; empty when gethostname fails.
std::string hostname();
// sethostname's result.
int hostname(const std::string& name);

}  // namespace Net

#endif  // FOUNDATION_SYSTEM_NET_H
