#include "asn1/per_decoder.h"

#include <cstdint>
#include <cstring>

#include "asn1/asn1.h"
#include "asn1/per_encoder.h"

namespace ASN1 {

const unsigned MaximumStringSize = 16384;
const unsigned MaximumArraySize = 128;

namespace {
const unsigned kUnbounded = 0x7fffffffu;
}

PERDecoder::PERDecoder(const char* begin, const char* end, CoderEnv* env, bool aligned)
    : Visitor(env), position_(begin), end_(end), bitOffset_(8), aligned_(aligned) {}

unsigned PERDecoder::getBitsLeft() const {
  if (position_ >= end_) return 0;
  const std::uint64_t bits = std::uint64_t(end_ - position_) * 8 + bitOffset_ - 8;
  return bits > 0xFFFFFFFFu ? 0xFFFFFFFFu : unsigned(bits);
}

void PERDecoder::byteAlign() {
  if (bitOffset_ != 8) {
    bitOffset_ = 8;
    ++position_;
  }
}

void PERDecoder::setPosition(const char* p) {
  position_ = p < end_ ? p : end_;
  bitOffset_ = 8;
}

void PERDecoder::rollback(memento_type m) {
  if (m.position == nullptr) return;
  position_ = m.position < end_ ? m.position : end_;
  bitOffset_ = static_cast<unsigned short>(m.bitOffset);
}

int PERDecoder::decodeSingleBit() {
  if (position_ >= end_) return 0;
  --bitOffset_;
  const int bit = (static_cast<unsigned char>(*position_) >> bitOffset_) & 1;
  if (bitOffset_ == 0) {
    bitOffset_ = 8;
    ++position_;
  }
  return bit;
}

bool PERDecoder::decodeSpanningBits(unsigned nBits, unsigned& value) {
  if (nBits > 32) return false;
  // The bits wanted, counted from the start of the current octet, span
  // `octets` octets; all of them must be there.
  const unsigned total = (8u - bitOffset_) + nBits;
  const unsigned octets = (total + 7) / 8;
  const std::size_t avail = position_ < end_ ? std::size_t(end_ - position_) : 0;
  if (octets > avail) {
    if (nBits != 0) return false;
    value = 0;
    return true;
  }
  const unsigned char* p = reinterpret_cast<const unsigned char*>(position_);
  unsigned bits;
  if (octets <= 4) {
    std::uint32_t acc = 0;
    for (unsigned i = 0; i < octets; ++i) acc = (acc << 8) | p[i];
    bits = unsigned(acc >> (octets * 8 - total));
  } else {
    std::uint64_t acc = 0;
    for (unsigned i = 0; i < octets; ++i) acc = (acc << 8) | p[i];
    bits = unsigned(acc >> (octets * 8 - total));
  }
  value = nBits < 32 ? bits & ((1u << nBits) - 1) : bits;
  position_ += total / 8;
  bitOffset_ = static_cast<unsigned short>(8 - total % 8);
  return true;
}

bool PERDecoder::decodeBitMap(std::vector<char>& bits, unsigned nBits) {
  return decodeBitMap(bits.data(), nBits);
}

bool PERDecoder::decodeBitMap(char* bits, unsigned nBits) {
  unsigned i = 0;
  unsigned v;
  for (; nBits > 7; nBits -= 8, ++i) {
    if (!decodeMultiBit(8, v)) return false;
    bits[i] = char(v);
  }
  if (nBits > 0) {
    if (!decodeMultiBit(nBits, v)) return false;
    bits[i] = char(v << (8 - nBits));
  }
  return true;
}

unsigned PERDecoder::decodeBlock(char* out, unsigned n) {
  if (n == 0) return 0;
  byteAlign();
  const std::size_t left = position_ < end_ ? std::size_t(end_ - position_) : 0;
  const unsigned count = n < left ? n : unsigned(left);
  if (count > 0) std::memcpy(out, position_, count);
  position_ += count;
  return count;
}

bool PERDecoder::decodeSmallUnsigned(unsigned& value) {
  unsigned bit;
  if (!decodeMultiBit(1, bit)) return false;
  if (bit == 0) return decodeMultiBit(6, value);
  unsigned c;
  if (decodeLength(0, kUnbounded, c) != 0 || c > 4) return false;
  byteAlign();
  return decodeMultiBit(8 * c, value);
}

int PERDecoder::decodeWideUnsigned(unsigned lb, unsigned ub, unsigned& value) {
  // More than 65536 values, aligned: an octet count, then that many octets.
  const unsigned nBits = CountBits(ub - lb + 1);
  unsigned c;
  if (decodeLength(1, (nBits + 7) / 8, c) != 0) return -1;
  byteAlign();
  unsigned bits;
  if (!readOctets(c, bits)) return -1;
  value = lb + bits;
  return 0;
}

int PERDecoder::decodeLength(unsigned lb, unsigned ub, unsigned& len) {
  if (!aligned_ && ub != kUnbounded) {
    unsigned bits;
    if (!decodeMultiBit(CountBits(ub - lb + 1), bits)) return -1;
    len = lb + bits;
    return 0;
  }
  if (ub <= 65535) return decodeUnsigned(lb, ub, len);
  return decodeOctetLength(len) ? 0 : -1;
}

bool PERDecoder::decodeTwoOctetLength(unsigned& len) {
  const unsigned first = static_cast<unsigned char>(*position_);
  if ((first & 0x40u) != 0 || end_ - position_ < 2) return false;
  len = ((first & 0x3Fu) << 8) | static_cast<unsigned char>(position_[1]);
  position_ += 2;
  return true;
}

int PERDecoder::decodeConstrainedLength(ConstrainedObject& obj, unsigned& len) {
  if (obj.getConstraintType() == ExtendableConstraint) {
    unsigned bit;
    if (!decodeMultiBit(1, bit)) return -1;
    if (bit == 1) return decodeLength(0, kUnbounded, len);
  } else if (obj.getConstraintType() == Unconstrained) {
    return decodeLength(0, kUnbounded, len);
  }
  return decodeLength(unsigned(obj.getLowerLimit()), obj.getUpperLimit(), len);
}

bool PERDecoder::skipOctets(unsigned n) {
  if (std::size_t(end_ - position_) < n) return false;
  position_ += n;
  return true;
}

bool PERDecoder::openTypeEnd(const char*& end) {
  unsigned len;
  if (decodeLength(0, kUnbounded, len) != 0) return false;
  if (std::size_t(end_ - position_) < len) return false;
  end = position_ + len;
  return true;
}

bool PERDecoder::do_visit(Null&) { return true; }

bool PERDecoder::do_visit(BOOLEAN& v) {
  unsigned bit;
  if (!decodeMultiBit(1, bit)) return false;
  v = bit != 0;
  return true;
}

bool PERDecoder::do_visit(INTEGER& v) {
  const ConstraintType type = v.getConstraintType();
  unsigned bit = 0;
  if (type == ExtendableConstraint && !decodeMultiBit(1, bit)) return false;
  if (type == FixedConstraint || (type == ExtendableConstraint && bit == 0)) {
    const unsigned lb = unsigned(v.getLowerLimit());
    const unsigned ub = v.getUpperLimit();
    unsigned value = lb;
    if (lb != ub && decodeUnsigned(lb, ub, value) != 0) return false;
    v.setValue(int(value));
    return true;
  }
  unsigned c;
  if (!decodeOctetLength(c) || c > 4) return false;
  unsigned value = 0;
  // The length left the position at an octet boundary.
  if (!readOctets(c, value)) return false;
  if (type == PartiallyConstrained) {
    // X.691 11.7: the distance from the lower bound, as a non-negative number;
    // one that would carry the value out of 32 bits is refused, not wrapped.
    const unsigned lb = unsigned(v.getLowerLimit());
    if (value > (v.getLowerLimit() < 0 ? 0x7FFFFFFFu : 0xFFFFFFFFu) - lb) return false;
    v.setValue(int(lb + value));
    return true;
  }
  // Two's complement in the fewest octets.
  if (c > 0 && c < 4 && (value & (1u << (8 * c - 1))) != 0) value |= ~0u << (8 * c);
  v.setValue(int(value));
  return true;
}

bool PERDecoder::do_visit(ENUMERATED& v) {
  unsigned value;
  if (v.extendable()) {
    unsigned bit;
    if (!decodeMultiBit(1, bit)) return false;
    if (bit == 1) {
      unsigned n;
      if (!decodeSmallUnsigned(n) || n == 0) return false;
      if (decodeUnsigned(0, n - 1, value) != 0) return false;
      v.setFromInt(int(value));
      return true;
    }
  }
  if (decodeUnsigned(0, unsigned(v.getMaximum()), value) != 0) return false;
  v.setFromInt(int(value));
  return true;
}

bool PERDecoder::do_visit(OBJECT_IDENTIFIER& v) {
  unsigned len;
  if (decodeLength(0, 255, len) != 0) return false;
  byteAlign();
  const char* contents = position_;
  if (!skipOctets(len)) return false;
  return v.decodeCommon(contents, len);
}

bool PERDecoder::do_visit(OCTET_STRING& v) {
  unsigned n;
  if (decodeConstrainedLength(v, n) != 0 || n > MaximumStringSize) return false;
  v.resize(n);
  if (n == 0) return true;
  if (n <= 2) {
    for (unsigned i = 0; i < n; ++i) {
      unsigned octet;
      if (!decodeMultiBit(8, octet)) return false;
      v[i] = char(octet);
    }
    return true;
  }
  return decodeBlock(v.data(), n) == n;
}

bool PERDecoder::do_visit(BIT_STRING& v) {
  unsigned count;
  if (decodeConstrainedLength(v, count) != 0) return false;
  if (count > MaximumStringSize || count > getBitsLeft()) return false;
  v.resize(count);
  if (count == 0) return true;
  if (count > 16 && aligned_) {
    const unsigned n = (count + 7) / 8;
    if (decodeBlock(v.getData().data(), n) != n) return false;
    // The sender's padding bits are no part of the value.
    v.clearUnusedBits();
    return true;
  }
  return decodeBitMap(v.getData(), count);
}

bool PERDecoder::do_visit(AbstractString& v) {
  unsigned len;
  if (decodeConstrainedLength(v, len) != 0 || len > MaximumStringSize) return false;
  v.resize(len);
  const unsigned b = v.getNumBits(aligned_);
  const unsigned c = v.getCanonicalSetBits();
  const bool small = v.getConstraintType() != Unconstrained &&
                     std::uint64_t(v.getUpperLimit()) * b <= 16;
  if (!small) {
    if (b == 8) {
      if (len == 0) return true;
      if (decodeBlock(&v[0], len) != len) {
        v.clear();
        return false;
      }
      return true;
    }
    if (aligned_) byteAlign();
  }
  for (unsigned i = 0; i < len; ++i) {
    unsigned bits;
    if (!decodeMultiBit(b, bits)) return false;
    if (4 < c && c <= b) {
      v[i] = char(bits);
    } else {
      if (v.getCharacterSet() == nullptr || bits >= v.getCharacterSetSize()) return false;
      v[i] = v.getCharacterSet()[bits];
    }
  }
  return true;
}

bool PERDecoder::do_visit(BMPString& v) {
  unsigned len;
  if (decodeConstrainedLength(v, len) != 0 || len > MaximumStringSize) return false;
  v.resize(len);
  const unsigned b = v.getNumBits(aligned_);
  if (aligned_ && (v.getConstraintType() == Unconstrained || std::uint64_t(v.getUpperLimit()) * b > 16))
    byteAlign();
  for (unsigned i = 0; i < len; ++i) {
    unsigned bits;
    if (!decodeMultiBit(b, bits)) return false;
    v[i] = wchar_t(unsigned(v.getFirstChar()) + bits);
  }
  return true;
}

bool PERDecoder::do_visit(CHOICE& v) {
  const unsigned n = v.getNumChoices();
  // A choice of one root alternative and no extension marker takes no bits
  // of its own: it may stand at the end of the input (its only alternative
  // NULL), and its alternative decides.
  if ((v.extendable() || n > 1) && atEnd()) return false;
  unsigned index = 0;
  memento_type after = {nullptr, 8};
  unsigned bit = 0;
  if (v.extendable() && !decodeMultiBit(1, bit)) return false;
  if (bit == 1) {
    unsigned k;
    if (!decodeSmallUnsigned(k)) return false;
    index = n + k;
    const char* end;
    if (!openTypeEnd(end)) return false;
    after.position = end;
  } else if (n > 1) {
    if (decodeUnsigned(0, n - 1, index) != 0) return false;
  }
  if (index > 0x7fffffffu || !v.select(int(index))) return false;
  if (!v.getSelection()->accept(*this)) return false;
  rollback(after);
  return true;
}

bool PERDecoder::do_visit(SEQUENCE_OF_Base& v) {
  unsigned count;
  if (decodeConstrainedLength(v, count) != 0 || count > MaximumArraySize) return false;
  v.resize(count);
  for (SEQUENCE_OF_Base::iterator it = v.begin(); it != v.end(); ++it) {
    if (*it == nullptr) *it = v.createElement();
    if (*it == nullptr || !(*it)->accept(*this)) {
      v.erase(it, v.end());
      return false;
    }
  }
  return true;
}

bool PERDecoder::do_visit(OpenData& v) {
  OCTET_STRING octets;
  if (!visit(octets)) return false;
  if (!v.has_buf()) v.grab(new std::vector<char>);
  v.get_buf().swap(octets);
  return true;
}

bool PERDecoder::do_revisit(OpenData& v) {
  if (!v.has_buf() || !v.has_data()) return false;
  const std::vector<char>& buf = v.get_buf();
  PERDecoder decoder(buf.data(), buf.data() + buf.size(), get_env(), true);
  return v.get_data().accept(decoder);
}

bool PERDecoder::do_visit(TypeConstrainedOpenData& v) {
  const char* end;
  if (!openTypeEnd(end)) return false;
  if (!v.has_data()) {
    AbstractData* data = AbstractData::create(v.info()->valueInfo);
    if (data == nullptr) return false;
    v.grab_data(data);
  }
  if (!v.get_data().accept(*this)) return false;
  setPosition(end);
  return true;
}

bool PERDecoder::do_visit(GeneralizedTime& v) {
  unsigned len;
  if (decodeLength(0, kUnbounded, len) != 0 || len == 0) return false;
  std::string text(len, '\0');
  if (decodeBlock(&text[0], len) != len) return false;
  return v.set(text.c_str());
}

int PERDecoder::preVisitExtensionRoots(SEQUENCE& v) {
  unsigned bit = 0;
  if (v.extendable()) {
    if (atEnd() || !decodeMultiBit(1, bit)) return 0;
  }
  if (!decodeBitMap(v.optionMap().data(), v.info()->numOptional)) return 0;
  return bit == 1 ? 3 : 2;
}

int PERDecoder::visitExtensionRoot(SEQUENCE& v, int index, int optionalId) {
  if (optionalId != -1 && !v.hasOptionalField(unsigned(optionalId))) return 3;
  AbstractData* field = v.makeField(unsigned(index));
  if (field == nullptr || !field->accept(*this)) return 0;
  return 3;
}

int PERDecoder::preVisitExtensions(SEQUENCE& v) {
  unsigned m;
  if (!decodeSmallUnsigned(m) || m >= MaximumArraySize) return 0;
  ++m;
  v.extensionMap().resize(m);
  if (!decodeBitMap(v.extensionMap().data(), m)) return 0;
  return 3;
}

int PERDecoder::visitKnownExtension(SEQUENCE& v, int index, int optionalId) {
  if (!v.hasOptionalField(unsigned(optionalId))) return 3;
  const char* end;
  if (!openTypeEnd(end)) return 0;
  AbstractData* field = v.makeField(unsigned(index));
  if (field == nullptr || !field->accept(*this)) return 0;
  setPosition(end);
  return 3;
}

int PERDecoder::visitUnknownExtensions(SEQUENCE& v) {
  const SEQUENCE::BitMap& map = v.extensionMap();
  for (unsigned k = v.info()->numExtensions; k < map.size(); ++k) {
    if (!map[k]) continue;
    unsigned len;
    if (decodeLength(0, kUnbounded, len) != 0 || !skipOctets(len)) return 0;
  }
  return 1;
}

}  // namespace ASN1
