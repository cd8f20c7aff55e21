#include "bench/ping_frames.h"

namespace Bench {
namespace {

// Appends an aligned-PER unconstrained INTEGER for a non-negative value: a
// length octet, then the minimal two's-complement octets, most significant first.
std::size_t WriteUnconstrained(unsigned char* out, std::uint32_t value) {
  unsigned octets = 1;
  // A non-negative value needs its top bit clear in the first octet.
  while (octets < 5 && (static_cast<std::uint64_t>(value) >> (8 * octets - 1)) != 0) ++octets;
  out[0] = static_cast<unsigned char>(octets);
  for (unsigned i = 0; i < octets; ++i) {
    const unsigned shift = 8 * (octets - 1 - i);
    out[1 + i] = shift >= 32 ? 0 : static_cast<unsigned char>(value >> shift);
  }
  return 1 + octets;
}

std::size_t WriteSeqMessage(unsigned char* out, std::uint32_t seq, unsigned char choice) {
  std::size_t n = kTpktHeaderSize;
  out[n++] = 0x80;
  n += WriteUnconstrained(out + n, seq);
  out[n++] = choice;
  out[0] = 3;
  out[1] = 0;
  out[2] = static_cast<unsigned char>(n >> 8);
  out[3] = static_cast<unsigned char>(n);
  return n;
}

}  // namespace

std::size_t WritePingFrame(unsigned char* out, std::uint32_t seq) {
  return WriteSeqMessage(out, seq, 0x18);
}

std::size_t WriteSuccessFrame(unsigned char* out, std::uint32_t seq) {
  return WriteSeqMessage(out, seq, 0x40);
}

long TpktFrameLength(const unsigned char* p, std::size_t available) {
  if (available >= 1 && p[0] != 3) return -1;
  if (available >= 2 && p[1] != 0) return -1;
  if (available < kTpktHeaderSize) return 0;
  const long length = (static_cast<long>(p[2]) << 8) | p[3];
  return length < static_cast<long>(kTpktHeaderSize) ? -1 : length;
}

bool ParseResponse(const unsigned char* body, std::size_t length, ResponseInfo* info) {
  *info = ResponseInfo();
  if (length < 1) return false;
  std::size_t pos = 0;
  const unsigned char preamble = body[pos];
  info->seq_present = (preamble & 0x80) != 0;
  info->slot_present = (preamble & 0x40) != 0;
  if (!info->seq_present && !info->slot_present) {
    // Nothing octet-aligned between the preamble and the PDU: they share octets.
    const unsigned bits = (static_cast<unsigned>(body[0]) << 8) | (length > 1 ? body[1] : 0);
    const unsigned pdu = (bits >> 12) & 3;  // after the two preamble bits
    info->signal = pdu == 2;
    if (info->signal) return true;
    if (pdu != 1) return false;
    info->success = ((bits >> 11) & 1) == 0;
    if (!info->success) info->error = (bits >> 6) & 0x0f;  // extension bit, then 4 bits
    return true;
  }
  ++pos;
  if (info->seq_present) {
    if (pos >= length) return false;
    const unsigned octets = body[pos++];
    if (octets == 0 || octets > 5 || pos + octets > length) return false;
    std::uint64_t v = 0;
    for (unsigned i = 0; i < octets; ++i) v = (v << 8) | body[pos++];
    info->seq = static_cast<std::uint32_t>(v);
  }
  if (info->slot_present) {
    // INTEGER (0..1023): a range above 256 takes two aligned octets.
    if (pos + 2 > length) return false;
    info->slot = ((static_cast<unsigned>(body[pos]) << 8) | body[pos + 1]) & 0x3ff;
    pos += 2;
  }
  if (pos >= length) return false;
  const unsigned char choice_byte = body[pos];
  if ((choice_byte >> 6) != 1) return false;  // PDU index 1: response
  info->success = (choice_byte & 0x20) == 0;
  if (!info->success) info->error = choice_byte & 0x0f;  // after the extension bit
  return true;
}

}  // namespace Bench
