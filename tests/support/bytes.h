// Hex texts and TPKT frames, for every test that writes or checks bytes. Header only.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

namespace TestBytes {

// "0A0B" ("0A 0B" when spaced) of any container of char or unsigned char.
template <class Bytes>
std::string Hex(const Bytes& bytes, bool spaced = false) {
  std::string text;
  char digits[3];
  for (auto byte : bytes) {
    if (spaced && !text.empty()) text += ' ';
    std::snprintf(digits, sizeof digits, "%02X", unsigned(static_cast<unsigned char>(byte)));
    text += digits;
  }
  return text;
}

// The octets of a hex text ("C0 01" or "c001"); blanks are ignored. A
// character that is not a hex digit, or an odd count, clears *ok (when given).
template <class Bytes = std::vector<char>>
Bytes FromHex(const std::string& text, bool* ok = nullptr) {
  Bytes out;
  int high = -1;
  bool good = true;
  for (unsigned char c : text) {
    const int digit = std::isdigit(c) ? c - '0' : std::isxdigit(c) ? std::toupper(c) - 'A' + 10 : -1;
    good = good && (digit >= 0 || c == ' ');
    if (digit < 0) continue;
    if (high >= 0) out.push_back(static_cast<typename Bytes::value_type>(high * 16 + digit));
    high = high < 0 ? digit : -1;
  }
  if (ok) *ok = good && high < 0;
  return out;
}

// A TPKT frame: version 3, a zero octet, the whole length (big-endian), the body.
template <class Bytes>
Bytes TpktFrame(const Bytes& body) {
  typedef typename Bytes::value_type Byte;
  const size_t length = body.size() + 4;
  // Sized once and filled in place: GCC 12 at -O2 takes an insert behind
  // a four-element initialiser list for an out-of-bounds copy.
  Bytes frame(length, Byte(0));
  frame[0] = Byte(3);
  frame[2] = static_cast<Byte>((length >> 8) & 0xFF);
  frame[3] = static_cast<Byte>(length & 0xFF);
  std::copy(body.begin(), body.end(), frame.begin() + 4);
  return frame;
}

inline std::string TpktFrame(const std::string& body) { return TpktFrame<std::string>(body); }

}  // namespace TestBytes
