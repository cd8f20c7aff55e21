// Printing tools for diagnostic lines: object headers, hex dumps, quoted
// values. Each factory builds a small holder that refers to what it prints
// (so the printed object must outlive the stream expression) and whose
// inserter calls its Put(). Nothing here allocates.
//
// Column tables for the status dump are in foundation/text_table.h, included
// here so that one header brings every tool.
#pragma once

#include <ostream>

#include "foundation/text_table.h"

namespace ext {

// The object's log-line prefix, from its PutHeader(std::ostream&) const.
template <class T>
class OutObjHeader {
 public:
  explicit OutObjHeader(const T* obj) : obj_(obj) {}
  void Put(std::ostream& os) const { obj_->PutHeader(os); }

 private:
  const T* obj_;
};

// The object's short description, from its PutShortInfo(std::ostream&) const.
template <class T>
class OutShortInfo {
 public:
  explicit OutShortInfo(const T* obj) : obj_(obj) {}
  void Put(std::ostream& os) const { obj_->PutShortInfo(os); }

 private:
  const T* obj_;
};

// The value through its own inserter, between double quotes.
template <class T>
class OutQuoted {
 public:
  explicit OutQuoted(const T* value) : value_(value) {}
  void Put(std::ostream& os) const { os << '"' << *value_ << '"'; }

 private:
  const T* value_;
};

// Each byte as two upper-case hex digits and one blank.
class OutBufInHex {
 public:
  OutBufInHex(const unsigned char* begin, const unsigned char* end) : begin_(begin), end_(end) {}
  // Leaves the stream's flags as they were and its fill a blank.
  void Put(std::ostream& os) const;

 private:
  const unsigned char* begin_;
  const unsigned char* end_;
};

// "0x" and the value in upper-case hex, digits zero-padded to the width.
class OutUnsignedInHex {
 public:
  OutUnsignedInHex(unsigned int value, unsigned int width) : value_(value), width_(width) {}
  void Put(std::ostream& os) const;

 private:
  unsigned int value_;
  unsigned int width_;
};

template <class T>
OutObjHeader<T> header(const T* obj) {
  return OutObjHeader<T>(obj);
}

template <class T>
OutShortInfo<T> shortinfo(const T* obj) {
  return OutShortInfo<T>(obj);
}

template <class T>
OutQuoted<T> quoted(const T& value) {
  return OutQuoted<T>(&value);
}

inline OutBufInHex hex(const char* buffer, unsigned int length) {
  const unsigned char* begin = reinterpret_cast<const unsigned char*>(buffer);
  return OutBufInHex(begin, begin + length);
}

inline OutBufInHex hex(const unsigned char* begin, const unsigned char* end) { return OutBufInHex(begin, end); }

inline OutUnsignedInHex hex(unsigned int value, unsigned int width) { return OutUnsignedInHex(value, width); }

template <class T>
std::ostream& operator<<(std::ostream& os, const OutObjHeader<T>& h) {
  h.Put(os);
  return os;
}

template <class T>
std::ostream& operator<<(std::ostream& os, const OutShortInfo<T>& h) {
  h.Put(os);
  return os;
}

template <class T>
std::ostream& operator<<(std::ostream& os, const OutQuoted<T>& h) {
  h.Put(os);
  return os;
}

std::ostream& operator<<(std::ostream& os, const OutBufInHex& h);
std::ostream& operator<<(std::ostream& os, const OutUnsignedInHex& h);

}  // namespace ext
