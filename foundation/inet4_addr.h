// An IPv4 endpoint kept in the system's own sockaddr_in layout, so it can be
// handed to bind/connect/accept without conversion. Parsed from "a.b.c.d" or
// "a.b.c.d:port" text without any name resolution.
#ifndef FOUNDATION_INET4_ADDR_H
#define FOUNDATION_INET4_ADDR_H

#include <netinet/in.h>
#include <sys/socket.h>

#include <iosfwd>
#include <string>
#include <vector>

namespace INet4 {

class Addr {
 public:
  // 0.0.0.0, port 0, family AF_INET.
  Addr();
  // Reset, then Assign(text); whether the text parsed is not reported: an
  // invalid host part leaves 0.0.0.0. Callers that must know use Assign.
  explicit Addr(const std::string& text);
  explicit Addr(const sockaddr_in& sin);
  Addr(const Addr& other);
  Addr& operator=(const Addr& other);

  // All 16 bytes zero, then family AF_INET.
  void Reset();

  // Parses "host[:port]". With a colon the port is the number after it (as
  // atoi reads it, stored modulo 65536) whether or not the host part is
  // valid, and *port receives it as read; without one the port field is kept
  // and *port receives -1. The host part goes through inet_aton (dotted forms,
  // decimal, octal, hex). Returns true when the host part was valid; on
  // failure the address field keeps its previous value. port may be null.
  bool Assign(const char* text, int* port);
  bool Assign(const std::string& text, int* port);
  Addr& operator=(const std::string& text);
  // Stores a 32-bit address given in network byte order; port unchanged.
  void Assign(unsigned long address);

  // Port in host byte order.
  unsigned short port() const;
  void port(unsigned short p);

  // Dotted-decimal text from inet_ntoa's static buffer: valid until the next
  // call of inet_ntoa anywhere.
  const char* GetStrAddr() const;
  // "a.b.c.d:port".
  std::string GetString() const;
  void Put(std::ostream& os) const;
  // The four address bytes, first octet first.
  std::vector<char> GetVector() const;

  // Address and port equal; the family is not compared.
  bool IsEqual(const Addr& other) const;
  bool operator==(const Addr& other) const { return IsEqual(other); }

  operator sockaddr*() { return reinterpret_cast<sockaddr*>(&mSin); }
  operator const sockaddr*() const { return reinterpret_cast<const sockaddr*>(&mSin); }
  // The length to pass with the sockaddr pointer.
  socklen_t size() const { return sizeof(mSin); }

  const sockaddr_in& sin() const { return mSin; }

 private:
  sockaddr_in mSin;
};

static_assert(sizeof(sockaddr_in) == 16, "sockaddr_in is 16 bytes");

std::ostream& operator<<(std::ostream& os, const Addr& addr);

}  // namespace INet4

#endif  // FOUNDATION_INET4_ADDR_H
