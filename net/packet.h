// Packet: a reference-counted, copy-on-write handle on a pooled buffer.
//
// Every packet block (_Packet) holds a 65,536-byte buffer with a window of
// valid bytes [data, tail) inside it; the room before the window (headroom)
// takes headers pushed by lower layers, the room after it (tailroom) takes
// appended bytes. Blocks come from one process-wide pool of 1024 and never
// from the general heap; when every block is in use, creating or unsharing a
// packet raises std::bad_alloc (the only exception this system raises).
// A block's header (count and window) sits just before its buffer, at the
// start of the block's first page, so a packet made with little headroom
// that stays small costs one page of memory (see list_allocator.h).
//
// Copying a Packet shares its block. Every operation that changes the window
// or hands out a writable pointer first takes a private copy of a shared block
// (only the window's bytes are copied, at the same offsets). Pointers returned
// by an operation stay valid while this handle keeps the same block, that is
// until the next unsharing operation on a shared block or the handle's release.
//
// A violated precondition prints "PACKET ASSERTION FAILED!", the guard's text
// and a snapshot of the packet to std::clog and ends the process.
//
// New packets are made by reserve_head() or reserve_tail() on a null handle:
// a protocol stack reserves every layer's header room on an empty packet
// first, the payload is written with put(), and each layer later prepends its
// header with push() without moving the payload.
//
// Single-threaded: packets must not be shared between threads.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "net/list_allocator.h"
#include "net/smart_pointer.h"

constexpr unsigned packet_max_size = 0x10000;

// One pool block.
struct _Packet {
  _Packet() : ref_count(0), data(buffer + packet_max_size), tail(buffer + packet_max_size) {}
  // Same window offsets; only the window's bytes are copied. The caller sets
  // the count.
  _Packet(const _Packet& other);
  _Packet& operator=(const _Packet&) = delete;

  static void* operator new(std::size_t size);
  static void operator delete(void* p);

  unsigned char* buffer_end() { return buffer + packet_max_size; }
  const unsigned char* buffer_end() const { return buffer + packet_max_size; }
  unsigned headroom() const { return static_cast<unsigned>(data - buffer); }
  unsigned length() const { return static_cast<unsigned>(tail - data); }
  unsigned tailroom() const { return static_cast<unsigned>(buffer_end() - tail); }
  // Pointers inside the buffer and data <= tail.
  bool valid() const {
    return data >= buffer && data <= buffer_end() && tail >= buffer && tail <= buffer_end() &&
           data <= tail;
  }

  std::uint32_t ref_count;
  unsigned char* data;
  unsigned char* tail;
  unsigned char buffer[packet_max_size];
};

using Packet_pool = List_allocator<_Packet, 1024, Dummy_critical_section>;

// Copy-on-write: the mutable access to a packet block unshares it first.
template <>
_Packet* Smart_pointer<_Packet>::operator->();

class Packet {
 public:
  Packet() = default;
  Packet(const Packet&) = default;
  Packet& operator=(const Packet&) = default;
  ~Packet() = default;

  // Releases the block and becomes null.
  void clear() { p_.clean(); }
  bool null() const { return p_.null(); }
  unsigned length() const { return p_.null() ? 0 : p_.get()->length(); }
  bool empty() const { return length() == 0; }
  bool operator<(unsigned n) const { return length() < n; }

  unsigned tailroom();
  // Headroom of a non-null packet, 0 for a null one (a const accessor: no
  // copy is taken).
  unsigned headroom() const { return p_.null() ? 0 : p_.get()->headroom(); }

  unsigned char* data();
  unsigned char* tail();

  // On a null packet: allocates a block with headroom n (or tailroom n) and
  // an empty window. Otherwise slides the empty window n bytes towards the
  // buffer's end (or start).
  void reserve_head(unsigned n);
  void reserve_tail(unsigned n);

  // Window changes; each returns a pointer as documented on its line.
  unsigned char* put(unsigned n);   // the first of the n new bytes
  unsigned char* push(unsigned n);  // the new first byte
  unsigned char* pull(unsigned n);  // the n removed bytes (readable while held)
  unsigned char* trim(unsigned n);  // the new tail

  unsigned char* put8(std::uint8_t b);
  unsigned char* push8(std::uint8_t b);
  // 0 on an empty packet, which is left unchanged.
  std::uint8_t pull8();

  unsigned char* put16(std::uint16_t v);    // low byte first
  unsigned char* put16_b(std::uint16_t v);  // high byte first
  unsigned char* push16_b(std::uint16_t v); // packet then begins high, low
  std::uint16_t pull16();                   // same as pull16_l
  std::uint16_t pull16_l();
  std::uint16_t pull16_b();

  // Appends every byte of `other` (nothing for a null one).
  void put(const Packet& other);
  // One length byte (the length modulo 256: callers keep strings at most
  // 255 bytes), then the bytes.
  void put(const std::string& s);
  // A length byte n, then n bytes (a byte missing at the end reads as 0).
  std::string pull_string();

  // A new packet holding the `len` bytes that begin `start` bytes into this
  // one; this packet is unchanged.
  Packet sub(unsigned len, unsigned start) const;

  unsigned char* operator[](int i);
  const unsigned char* operator[](int i) const;

  // "01 AB 00"; "(null)" for a null packet, "(bad)" for broken pointers.
  std::string text() const;
  // "head=H, data=L, tail=T"; false (and nothing written) for a null packet.
  bool dump(std::ostream& os) const;
  // "dump:" and " xx" per byte in lower-case hexadecimal.
  bool dump_context(std::ostream& os);

 private:
  // The block, made private first when it is shared.
  _Packet* own();
  [[noreturn]] void fail(const char* text) const;
  void passert(bool condition, const char* text) const {
    if (!condition) fail(text);
  }
  void check(const char* operation) const;

  Smart_pointer<_Packet> p_;
};

std::ostream& operator<<(std::ostream& os, const Packet& packet);
