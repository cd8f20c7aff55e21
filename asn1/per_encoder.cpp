#include "asn1/per_encoder.h"

#include <cstddef>
#include <cstdint>

#include "asn1/asn1.h"

namespace ASN1 {

namespace {
const unsigned kUnbounded = 0x7fffffffu;
// Unfragmented lengths end here; longer contents would need fragments.
const unsigned kMaxUnfragmented = 16383;
// The most storage the encoding buffer keeps between messages.
const std::size_t kSpareCapacity = 4096;

// Extension additions this side will write: the value's map, clipped to the
// additions the type knows (a decoded value may carry unknown ones).
unsigned knownExtensionBits(const SEQUENCE& seq) {
  const unsigned m = seq.extensionMap().size();
  const unsigned known = seq.info()->numExtensions;
  return m < known ? m : known;
}

bool anyKnownExtension(const SEQUENCE& seq) {
  const unsigned m = knownExtensionBits(seq);
  for (unsigned k = 0; k < m; ++k)
    if (seq.extensionMap()[k]) return true;
  return false;
}
}  // namespace

PEREncoder::PEREncoder(std::vector<char>& out, bool aligned)
    : out_(out), bitOffset_(8), aligned_(aligned) {
  out_.clear();
  out_.reserve(256);
}

bool PEREncoder::append(const AbstractData& value, std::vector<char>& out) {
  // The encoding goes to a buffer of this thread's that outlives the call,
  // so that a message costs no allocation; it is taken out while in use, so
  // an encoding started inside this one gets a fresh one.
  static thread_local std::vector<char> spare;
  std::vector<char> octets;
  octets.swap(spare);
  PEREncoder encoder(octets, true);
  const bool ok = value.accept(encoder);
  if (ok) out.insert(out.end(), octets.begin(), octets.end());
  // A rare large message does not keep its storage for good.
  if (octets.capacity() <= kSpareCapacity) octets.swap(spare);
  return ok;
}

void PEREncoder::byteAlign() { bitOffset_ = 8; }

void PEREncoder::encodeSingleBit(bool bit) {
  if (bitOffset_ == 8) out_.push_back(0);
  --bitOffset_;
  if (bit) out_.back() = char(static_cast<unsigned char>(out_.back()) | (1u << bitOffset_));
  if (bitOffset_ == 0) bitOffset_ = 8;
}

namespace {
inline char octet(unsigned v) { return static_cast<char>(static_cast<unsigned char>(v & 0xFFu)); }
}  // namespace

void PEREncoder::encodeMultiBit(unsigned value, unsigned nBits) {
  if (nBits == 0) return;
  if (nBits < 32) value &= (1u << nBits) - 1;
  if (bitOffset_ == 8) {
    // At an octet boundary: whole octets go out as they are.
    while (nBits >= 8) {
      nBits -= 8;
      out_.push_back(octet(value >> nBits));
    }
    if (nBits == 0) return;
    bitOffset_ = static_cast<unsigned short>(8 - nBits);
    out_.push_back(octet(value << bitOffset_));
    return;
  }
  if (bitOffset_ > nBits) {
    // Fits in the free bits of the last octet.
    bitOffset_ = static_cast<unsigned short>(bitOffset_ - nBits);
    out_.back() = octet(static_cast<unsigned char>(out_.back()) | (value << bitOffset_));
    return;
  }
  // Fill the last octet, then whole octets, then the start of a new one.
  nBits -= bitOffset_;
  out_.back() = octet(static_cast<unsigned char>(out_.back()) | (value >> nBits));
  while (nBits >= 8) {
    nBits -= 8;
    out_.push_back(octet(value >> nBits));
  }
  if (nBits == 0) {
    bitOffset_ = 8;
    return;
  }
  bitOffset_ = static_cast<unsigned short>(8 - nBits);
  out_.push_back(octet(value << bitOffset_));
}

void PEREncoder::encodeBitMap(const std::vector<char>& bits, unsigned nBits) {
  encodeBitMap(bits.data(), nBits);
}

void PEREncoder::encodeBitMap(const char* bits, unsigned nBits) {
  unsigned i = 0;
  for (; nBits > 7; nBits -= 8, ++i) encodeMultiBit(static_cast<unsigned char>(bits[i]), 8);
  if (nBits > 0) encodeMultiBit(static_cast<unsigned char>(bits[i]) >> (8 - nBits), nBits);
}

void PEREncoder::encodeByte(unsigned value) {
  byteAlign();
  out_.push_back(char(value & 0xFF));
}

void PEREncoder::encodeBlock(const char* data, unsigned n) {
  if (n == 0) return;
  byteAlign();
  out_.insert(out_.end(), data, data + n);
}

void PEREncoder::encodeSmallUnsigned(unsigned value) {
  if (value <= 63) {
    encodeMultiBit(value, 7);
    return;
  }
  encodeSingleBit(true);
  const unsigned c = value <= 0xFFu ? 1 : value <= 0xFFFFu ? 2 : value <= 0xFFFFFFu ? 3 : 4;
  encodeLength(c, 0, kUnbounded);
  byteAlign();
  encodeMultiBit(value, 8 * c);
}

int PEREncoder::encodeUnsigned(unsigned value, unsigned lb, unsigned ub) {
  if (value - lb > ub - lb) return 0;
  if (lb == ub) return 1;
  const unsigned range = ub - lb + 1;  // 0 stands for 2^32
  const unsigned nBits = CountBits(range);
  const unsigned off = value - lb;
  if (!aligned_ || (range >= 1 && range <= 255)) {
    encodeMultiBit(off, nBits);
    return 1;
  }
  if (nBits > 16) {
    const unsigned c = off == 0 ? 1 : (CountBits(off + 1) + 7) / 8;
    if (!encodeLength(c, 1, (nBits + 7) / 8)) return 0;
    byteAlign();
    encodeMultiBit(off, 8 * c);
  } else if (nBits > 8) {
    byteAlign();
    encodeMultiBit(off, 16);
  } else {
    byteAlign();
    encodeMultiBit(off, 8);
  }
  return 1;
}

int PEREncoder::encodeLength(unsigned len, unsigned lb, unsigned ub) {
  if (len < lb || len > ub) return 0;
  if (!aligned_ && ub != kUnbounded) {
    encodeMultiBit(len - lb, CountBits(ub - lb + 1));
    return 1;
  }
  if (ub <= 65535) return encodeUnsigned(len, lb, ub);
  // Without fragmentation nothing of 16384 or more can be written.
  if (len > kMaxUnfragmented) return 0;
  byteAlign();
  if (len <= 127) {
    encodeMultiBit(len, 8);
  } else {
    encodeMultiBit(2, 2);
    encodeMultiBit(len, 14);
  }
  return 1;
}

bool PEREncoder::encodeConstraint(const ConstrainedObject& obj, unsigned value) {
  switch (obj.getConstraintType()) {
    case ExtendableConstraint: {
      const unsigned lb = unsigned(obj.getLowerLimit());
      const bool outside = value - lb > obj.getUpperLimit() - lb;
      encodeSingleBit(outside);
      return outside;
    }
    case FixedConstraint:
      return false;
    default:
      return true;
  }
}

int PEREncoder::encodeConstrainedLength(const ConstrainedObject& obj, unsigned len) {
  if (encodeConstraint(obj, len)) return encodeLength(len, 0, kUnbounded);
  return encodeLength(len, unsigned(obj.getLowerLimit()), obj.getUpperLimit());
}

bool PEREncoder::encodeOpenOctets(const std::vector<char>& octets) {
  if (!encodeLength(unsigned(octets.size()), 0, kUnbounded)) return false;
  encodeBlock(octets.data(), unsigned(octets.size()));
  return true;
}

bool PEREncoder::encodeAnyType(const AbstractData* value) {
  std::vector<char> inner;
  PEREncoder encoder(inner, true);
  if (value != nullptr && !value->accept(encoder)) return false;
  if (inner.empty()) encoder.encodeSingleBit(false);
  return encodeOpenOctets(inner);
}

bool PEREncoder::do_visit(const Null&) { return true; }

bool PEREncoder::do_visit(const BOOLEAN& v) {
  encodeSingleBit(v);
  return true;
}

bool PEREncoder::do_visit(const INTEGER& v) {
  const int value = v.getValue();
  if (v.getConstraintType() == PartiallyConstrained) return encodeSemiConstrained(v);
  if (encodeConstraint(v, unsigned(value))) {
    unsigned bits;
    if (value >= 0)
      bits = value == 0 ? 1 : CountBits(unsigned(value) + 1) + 1;
    else
      bits = CountBits(0u - unsigned(value)) + 1;
    const unsigned c = (bits + 7) / 8;
    if (!encodeLength(c, 0, kUnbounded)) return false;
    encodeMultiBit(unsigned(value), 8 * c);
    return true;
  }
  // A single-value range writes nothing, but only for that value: anything
  // else would come out of the decoder as the bound.
  return encodeUnsigned(unsigned(value), unsigned(v.getLowerLimit()), v.getUpperLimit()) != 0;
}

bool PEREncoder::encodeSemiConstrained(const INTEGER& v) {
  // X.691 11.7: the distance from the lower bound in the fewest octets, so
  // that a value near a negative bound reads back as itself. A lower bound
  // of 0 or more makes the values unsigned (as the value-notation writer
  // shows them).
  const int lower = v.getLowerLimit();
  const int value = v.getValue();
  if (lower < 0 ? value < lower : unsigned(value) < unsigned(lower)) return false;
  const unsigned off = unsigned(value) - unsigned(lower);
  const unsigned c = off <= 0xFFu ? 1 : off <= 0xFFFFu ? 2 : off <= 0xFFFFFFu ? 3 : 4;
  if (!encodeLength(c, 0, kUnbounded)) return false;
  encodeMultiBit(off, 8 * c);
  return true;
}

bool PEREncoder::do_visit(const ENUMERATED& v) {
  const int value = v.asInt();
  const int max = v.getMaximum();
  if (v.extendable()) {
    const bool extension = value > max;
    encodeSingleBit(extension);
    if (extension) {
      encodeSmallUnsigned(unsigned(value) + 1);
      return encodeUnsigned(unsigned(value), 0, unsigned(value)) != 0;
    }
  }
  if (value < 0) return false;
  return encodeUnsigned(unsigned(value), 0, unsigned(max)) != 0;
}

bool PEREncoder::do_visit(const OBJECT_IDENTIFIER& v) {
  std::vector<char> contents;
  v.encodeCommon(contents);
  if (!encodeLength(unsigned(contents.size()), 0, 255)) return false;
  encodeBlock(contents.data(), unsigned(contents.size()));
  return true;
}

bool PEREncoder::do_visit(const BIT_STRING& v) {
  const unsigned count = v.size();
  if (!encodeConstrainedLength(v, count)) return false;
  if (count == 0) return true;
  if (count > 16 && aligned_)
    encodeBlock(v.getData().data(), (count + 7) / 8);
  else
    encodeBitMap(v.getData(), count);
  return true;
}

bool PEREncoder::do_visit(const OCTET_STRING& v) {
  const unsigned n = unsigned(v.size());
  if (!encodeConstrainedLength(v, n)) return false;
  if (n == 0) return true;
  if (n <= 2) {
    for (unsigned i = 0; i < n; ++i) encodeMultiBit(static_cast<unsigned char>(v[i]), 8);
    return true;
  }
  encodeBlock(v.data(), n);
  return true;
}

bool PEREncoder::do_visit(const AbstractString& v) {
  const unsigned len = unsigned(v.size());
  const unsigned b = v.getNumBits(aligned_);
  const unsigned c = v.getCanonicalSetBits();
  if (!encodeConstrainedLength(v, len)) return false;
  const bool small = v.getConstraintType() != Unconstrained &&
                     std::uint64_t(v.getUpperLimit()) * b <= 16;
  if (!small) {
    if (b == 8) {
      encodeBlock(v.data(), len);
      return true;
    }
    if (aligned_) byteAlign();
  }
  const char* set = v.getCharacterSet();
  const unsigned setSize = v.getCharacterSetSize();
  for (unsigned i = 0; i < len; ++i) {
    const unsigned char ch = static_cast<unsigned char>(v[i]);
    if (4 < c && c <= b) {
      encodeMultiBit(ch, b);
      continue;
    }
    unsigned pos = 0;
    while (pos < setSize && static_cast<unsigned char>(set[pos]) != ch) ++pos;
    if (set == nullptr || pos == setSize) return false;
    encodeMultiBit(pos, b);
  }
  return true;
}

bool PEREncoder::do_visit(const BMPString& v) {
  const unsigned len = unsigned(v.size());
  if (!encodeConstrainedLength(v, len)) return false;
  const unsigned b = v.getNumBits(aligned_);
  if (aligned_ && (v.getConstraintType() == Unconstrained || std::uint64_t(v.getUpperLimit()) * b > 16))
    byteAlign();
  for (unsigned i = 0; i < len; ++i) encodeMultiBit(unsigned(v[i]) - unsigned(v.getFirstChar()), b);
  return true;
}

bool PEREncoder::do_visit(const CHOICE& v) {
  const int s = v.currentSelection();
  const unsigned n = v.getNumChoices();
  if (s < 0 || v.getSelection() == nullptr) return false;
  if (v.extendable()) {
    const bool extension = unsigned(s) >= n;
    encodeSingleBit(extension);
    if (extension) {
      encodeSmallUnsigned(unsigned(s) - n);
      return encodeAnyType(v.getSelection());
    }
  }
  if (n > 1 && !encodeUnsigned(unsigned(s), 0, n - 1)) return false;
  return v.getSelection()->accept(*this);
}

bool PEREncoder::do_visit(const OpenData& v) {
  // Undecoded octets go out as they came, rather than as an empty open type.
  if (!v.has_data() && v.has_buf()) return encodeOpenOctets(v.get_buf());
  return encodeAnyType(v.has_data() ? &v.get_data() : nullptr);
}

bool PEREncoder::do_visit(const GeneralizedTime& v) {
  const std::string text = v.get();
  if (!encodeLength(unsigned(text.size()), 0, 4294967295u)) return false;
  encodeBlock(text.data(), unsigned(text.size()));
  return true;
}

bool PEREncoder::do_visit(const SEQUENCE_OF_Base& v) {
  if (!encodeConstrainedLength(v, v.size())) return false;
  for (SEQUENCE_OF_Base::const_iterator it = v.begin(); it != v.end(); ++it)
    if (!(*it)->accept(*this)) return false;
  return true;
}

bool PEREncoder::preVisitExtensionRoots(const SEQUENCE& v) {
  if (v.extendable()) encodeSingleBit(anyKnownExtension(v));
  encodeBitMap(v.optionMap().data(), v.info()->numOptional);
  return true;
}

bool PEREncoder::visitExtensionRoot(const SEQUENCE& v, int index) {
  const AbstractData* field = v.getField(unsigned(index));
  return field != nullptr && field->accept(*this);
}

bool PEREncoder::preVisitExtensions(const SEQUENCE& v) {
  if (!v.extendable() || !anyKnownExtension(v)) return true;
  const unsigned m = knownExtensionBits(v);
  encodeSmallUnsigned(m - 1);
  encodeBitMap(v.extensionMap().data(), m);
  return true;
}

bool PEREncoder::visitKnownExtension(const SEQUENCE& v, int index) {
  if (!v.extendable()) return true;
  return encodeAnyType(v.getField(unsigned(index)));
}

}  // namespace ASN1
