#include "foundation/inet4_addr.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>

namespace INet4 {

Addr::Addr() { Reset(); }

Addr::Addr(const std::string& text) {
  Reset();
  Assign(text, nullptr);
}

Addr::Addr(const sockaddr_in& sin) { std::memcpy(&mSin, &sin, sizeof(mSin)); }

Addr::Addr(const Addr& other) { std::memcpy(&mSin, &other.mSin, sizeof(mSin)); }

Addr& Addr::operator=(const Addr& other) {
  std::memmove(&mSin, &other.mSin, sizeof(mSin));
  return *this;
}

void Addr::Reset() {
  std::memset(&mSin, 0, sizeof(mSin));
  mSin.sin_family = AF_INET;
}

bool Addr::Assign(const char* text, int* port) {
  std::string host;
  const char* colon = std::strchr(text, ':');
  if (colon) {
    // atoi as glibc defines it, without its undefined behaviour on overflow.
    const int number = static_cast<int>(std::strtol(colon + 1, nullptr, 10));
    mSin.sin_port = htons(static_cast<unsigned short>(number));
    if (port) *port = number;
    host.assign(text, colon - text);
  } else {
    if (port) *port = -1;
    host = text;
  }
  in_addr parsed;
  if (inet_aton(host.c_str(), &parsed) == 0) return false;
  mSin.sin_addr = parsed;
  return true;
}

bool Addr::Assign(const std::string& text, int* port) { return Assign(text.c_str(), port); }

Addr& Addr::operator=(const std::string& text) {
  Assign(text, nullptr);
  return *this;
}

void Addr::Assign(unsigned long address) {
  mSin.sin_addr.s_addr = static_cast<in_addr_t>(address);
}

unsigned short Addr::port() const { return ntohs(mSin.sin_port); }

void Addr::port(unsigned short p) { mSin.sin_port = htons(p); }

const char* Addr::GetStrAddr() const { return inet_ntoa(mSin.sin_addr); }

std::string Addr::GetString() const {
  char port[16];
  std::snprintf(port, sizeof(port), "%d", static_cast<int>(this->port()));
  return std::string(GetStrAddr()) + ":" + port;
}

void Addr::Put(std::ostream& os) const {
  os << GetStrAddr() << ":" << static_cast<int>(port());
}

std::vector<char> Addr::GetVector() const {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&mSin.sin_addr.s_addr);
  return std::vector<char>(bytes, bytes + 4);
}

bool Addr::IsEqual(const Addr& other) const {
  return mSin.sin_addr.s_addr == other.mSin.sin_addr.s_addr &&
         mSin.sin_port == other.mSin.sin_port;
}

std::ostream& operator<<(std::ostream& os, const Addr& addr) {
  addr.Put(os);
  return os;
}

}  // namespace INet4
