#include "net/packet.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>
#include <sstream>
#include <vector>

namespace smart_pointer_detail {
void assertion_failed() {
  std::clog << "SMART POINTER ASSERTION!" << std::endl;
  std::terminate();
}
}  // namespace smart_pointer_detail

namespace {

// Builds the pool's free list before main, whichever module would otherwise
// touch it first. This writes only the list's own records, none of the
// blocks.
struct PoolStarter {
  PoolStarter() { (void)Packet_pool::free_count(); }
} pool_starter;

// What a failed assertion prints about the packet.
struct PacketInfo {
  explicit PacketInfo(const _Packet* p) : is_null(p == nullptr) {
    if (is_null) return;
    pointers_valid = p->valid();
    headroom = static_cast<long>(p->data - p->buffer);
    length = static_cast<long>(p->tail - p->data);
    tailroom = static_cast<long>(p->buffer_end() - p->tail);
    if (pointers_valid) bytes.assign(p->data, p->tail);
  }
  void print(std::ostream& os) const {
    if (is_null) {
      os << "(null)" << '\n';
      return;
    }
    os << "head=" << headroom << ", data=" << length << ", tail=" << tailroom << '\n';
    if (!pointers_valid) {
      os << "can't dump packet: wrong pointers" << '\n';
      return;
    }
    if (bytes.empty()) return;
    os << "dump:" << '\n';
    std::ostringstream line;
    line << std::hex;
    for (unsigned char b : bytes) line << ' ' << static_cast<unsigned>(b);
    os << line.str() << '\n';
  }

  bool is_null;
  long headroom = 0, length = 0, tailroom = 0;
  std::vector<unsigned char> bytes;
  bool pointers_valid = false;
};

}  // namespace

_Packet::_Packet(const _Packet& other)
    : ref_count(0),
      data(buffer + (other.data - other.buffer)),
      tail(buffer + (other.tail - other.buffer)) {
  std::memcpy(data, other.data, other.tail - other.data);
}

void* _Packet::operator new(std::size_t) {
  void* p = Packet_pool::allocate();
  if (!p) throw std::bad_alloc();
  return p;
}

void _Packet::operator delete(void* p) { Packet_pool::deallocate(static_cast<_Packet*>(p)); }

template <>
_Packet* Smart_pointer<_Packet>::operator->() {
  if (!ptr_) smart_pointer_detail::assertion_failed();
  if (ptr_->ref_count > 1) {
    _Packet* copy = new _Packet(*ptr_);  // may raise std::bad_alloc
    --ptr_->ref_count;
    ptr_ = copy;
    copy->ref_count = 1;
  }
  return ptr_;
}

void Packet::fail(const char* text) const {
  std::clog << "PACKET ASSERTION FAILED!" << '\n' << text << '\n';
  PacketInfo(p_.get()).print(std::clog);
  std::clog << std::endl;
  std::terminate();
}

void Packet::check(const char* operation) const {
  const char* what = nullptr;
  const _Packet* p = p_.get();
  if (!p)
    what = "after \"%s\" packet is null";
  else if (p->data < p->buffer || p->data > p->buffer_end())
    what = "after \"%s\" fdata invalid";
  else if (p->tail < p->buffer || p->tail > p->buffer_end())
    what = "after \"%s\" ftail invalid";
  else if (p->data > p->tail)
    what = "after \"%s\" fdata>ftail";
  if (!what) return;
  char message[256];
  std::snprintf(message, sizeof message, what, operation);
  std::clog << "packet check fail" << '\n' << message << '\n' << "terminate." << std::endl;
  std::terminate();
}

_Packet* Packet::own() {
  passert(!p_.null(), "null packet");
  return p_.operator->();
}

unsigned Packet::tailroom() {
  passert(!p_.null(), "null packet");
  return p_.get()->tailroom();
}

unsigned char* Packet::data() { return own()->data; }

unsigned char* Packet::tail() { return own()->tail; }

void Packet::reserve_head(unsigned n) {
  passert(n <= packet_max_size, "length>packet_max_size");
  if (p_.null()) {
    p_ = new _Packet;
    passert(!p_.null(), "allocation fail");
    _Packet* p = p_.get();
    p->data = p->tail = p->buffer + n;
    return;
  }
  _Packet* p = own();
  // The growing side is the headroom; the window's far edge must stay inside
  // the buffer too.
  passert(p->headroom() + n <= packet_max_size && n <= p->tailroom(), "new_len>packet_max_size");
  p->data += n;
  p->tail += n;
}

void Packet::reserve_tail(unsigned n) {
  passert(n <= packet_max_size, "len>packet_max_size");
  if (p_.null()) {
    p_ = new _Packet;
    passert(!p_.null(), "allocation fail");
    _Packet* p = p_.get();
    p->data = p->tail = p->buffer_end() - n;
    return;
  }
  _Packet* p = own();
  passert(p->tailroom() + n <= packet_max_size && n <= p->headroom(),
          "_tailroom()+len <= packet_max_size");
  p->data -= n;
  p->tail -= n;
}

unsigned char* Packet::put(unsigned n) {
  _Packet* p = own();
  passert(n <= p->tailroom(), "len<=_tailroom()");
  unsigned char* first = p->tail;
  p->tail += n;
  check("put");
  return first;
}

unsigned char* Packet::push(unsigned n) {
  _Packet* p = own();
  passert(n <= p->headroom(), "len<=_headroom()");
  p->data -= n;
  check("push");
  return p->data;
}

unsigned char* Packet::pull(unsigned n) {
  _Packet* p = own();
  passert(n <= p->length(), "len<=_length()");
  unsigned char* removed = p->data;
  p->data += n;
  return removed;
}

unsigned char* Packet::trim(unsigned n) {
  _Packet* p = own();
  passert(n <= p->length(), "len<=_length()");
  p->tail -= n;
  check("trim");
  return p->tail;
}

unsigned char* Packet::put8(std::uint8_t b) {
  unsigned char* at = put(1);
  *at = b;
  return at;
}

unsigned char* Packet::push8(std::uint8_t b) {
  unsigned char* at = push(1);
  *at = b;
  return at;
}

std::uint8_t Packet::pull8() {
  passert(!p_.null(), "null packet");
  if (p_.get()->length() == 0) return 0;
  return *pull(1);
}

unsigned char* Packet::put16(std::uint16_t v) {
  put8(static_cast<std::uint8_t>(v & 0xFF));
  return put8(static_cast<std::uint8_t>(v >> 8));
}

unsigned char* Packet::put16_b(std::uint16_t v) {
  put8(static_cast<std::uint8_t>(v >> 8));
  return put8(static_cast<std::uint8_t>(v & 0xFF));
}

unsigned char* Packet::push16_b(std::uint16_t v) {
  push8(static_cast<std::uint8_t>(v & 0xFF));
  return push8(static_cast<std::uint8_t>(v >> 8));
}

std::uint16_t Packet::pull16() { return pull16_l(); }

std::uint16_t Packet::pull16_l() {
  passert(!p_.null(), "null packet");
  const unsigned low = pull8();
  const unsigned high = pull8();
  return static_cast<std::uint16_t>(low | (high << 8));
}

std::uint16_t Packet::pull16_b() {
  passert(!p_.null(), "null packet");
  const unsigned high = pull8();
  const unsigned low = pull8();
  return static_cast<std::uint16_t>(low | (high << 8));
}

void Packet::put(const Packet& other) {
  // Captured first: `other` may be this very handle.
  const unsigned n = other.length();
  for (unsigned i = 0; i < n; ++i) put8(*other[static_cast<int>(i)]);
}

void Packet::put(const std::string& s) {
  put8(static_cast<std::uint8_t>(s.size() & 0xFF));
  for (char c : s) put8(static_cast<std::uint8_t>(c));
}

std::string Packet::pull_string() {
  const unsigned n = pull8();
  std::string s;
  s.reserve(n);
  for (unsigned i = 0; i < n; ++i) s.push_back(static_cast<char>(pull8()));
  return s;
}

Packet Packet::sub(unsigned len, unsigned start) const {
  passert(!p_.null(), "null packet");
  const unsigned total = p_.get()->length();
  passert(start <= total, "start<=_length()");
  passert(len <= total - start, "start+len<=_length()");
  // The copy keeps this packet's offsets, so the result keeps the headroom
  // in front of its bytes; trimming it unshares it into a block of its own.
  Packet result(*this);
  result.pull(start);
  result.trim(total - start - len);
  return result;
}

unsigned char* Packet::operator[](int i) {
  passert(!p_.null(), "null packet");
  passert(i >= 0 && static_cast<unsigned>(i) < length(), "index out of range");
  return own()->data + i;
}

const unsigned char* Packet::operator[](int i) const {
  passert(!p_.null(), "null packet");
  passert(i >= 0 && static_cast<unsigned>(i) < length(), "index out of range");
  return p_.get()->data + i;
}

std::string Packet::text() const {
  const _Packet* p = p_.get();
  if (!p) return "(null)";
  if (!p->valid()) return "(bad)";
  std::string s;
  s.reserve(p->length() * 3);
  char digits[4];
  for (const unsigned char* b = p->data; b != p->tail; ++b) {
    if (b != p->data) s.push_back(' ');
    std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned>(*b));
    s += digits;
  }
  return s;
}

bool Packet::dump(std::ostream& os) const {
  const _Packet* p = p_.get();
  if (!p) return false;
  os << "head=" << p->headroom() << ", " << "data=" << p->length() << ", "
     << "tail=" << p->tailroom();
  return true;
}

bool Packet::dump_context(std::ostream& os) {
  if (p_.null() || !p_.get()->valid()) return false;
  if (p_.get()->length() == 0) return true;
  _Packet* p = own();
  std::ostringstream line;
  line << "dump:" << std::hex;
  for (const unsigned char* b = p->data; b != p->tail; ++b)
    line << ' ' << static_cast<unsigned>(*b);
  os << line.str();
  return true;
}

std::ostream& operator<<(std::ostream& os, const Packet& packet) { return os << packet.text(); }
