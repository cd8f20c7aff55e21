#include "asn1/octet_string.h"

#include "asn1/visitor.h"

namespace ASN1 {

const OCTET_STRING::InfoType OCTET_STRING::theInfo = {{&OCTET_STRING::create, 4}, Unconstrained, 0,
                                                      0xFFFFFFFFu};
const BIT_STRING::InfoType BIT_STRING::theInfo = {{&BIT_STRING::create, 3}, Unconstrained, 0,
                                                  0xFFFFFFFFu};

AbstractData* OCTET_STRING::create(const TypeInfo* info) {
  return new OCTET_STRING(static_cast<const InfoType*>(info));
}

int OCTET_STRING::do_compare(const AbstractData& otherData) const {
  const OCTET_STRING& other = static_cast<const OCTET_STRING&>(otherData);
  return lexicographic_compare_bytes(data(), data() + size(), other.data(), other.data() + other.size());
}

AbstractData* OCTET_STRING::do_clone() const { return cloneAs<OCTET_STRING>(); }

bool OCTET_STRING::do_accept(Visitor& v) { return v.visit(*this); }
bool OCTET_STRING::do_accept(ConstVisitor& v) const { return v.visit(*this); }

AbstractData* BIT_STRING::create(const TypeInfo* info) {
  return new BIT_STRING(static_cast<const InfoType*>(info));
}

void BIT_STRING::set(unsigned i, bool on) {
  if (i >= totalBits_) return;
  unsigned char& octet = reinterpret_cast<unsigned char&>(bits_[i >> 3]);
  if (on)
    octet = static_cast<unsigned char>(octet | (0x80u >> (i & 7)));
  else
    octet = static_cast<unsigned char>(octet & ~(0x80u >> (i & 7)));
}

void BIT_STRING::resize(unsigned n) {
  totalBits_ = n;
  bits_.resize((n + 7) / 8, 0);
  clearUnusedBits();
}

void BIT_STRING::clearUnusedBits() {
  // Comparison and the PER block form read whole octets: bits past the size
  // must be 0, or a value shrunk keeps bits that a fresh one lacks.
  if (totalBits_ % 8 != 0) {
    unsigned char& last = reinterpret_cast<unsigned char&>(bits_.back());
    last = static_cast<unsigned char>(last & (0xFF00u >> (totalBits_ % 8)));
  }
}

int BIT_STRING::do_compare(const AbstractData& otherData) const {
  const BIT_STRING& other = static_cast<const BIT_STRING&>(otherData);
  const std::size_t n = std::min(bits_.size(), other.bits_.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int a = static_cast<unsigned char>(bits_[i]);
    const int b = static_cast<unsigned char>(other.bits_[i]);
    if (a != b) return a - b;
  }
  return int(totalBits_) - int(other.totalBits_);
}

AbstractData* BIT_STRING::do_clone() const { return cloneAs<BIT_STRING>(); }

bool BIT_STRING::do_accept(Visitor& v) { return v.visit(*this); }
bool BIT_STRING::do_accept(ConstVisitor& v) const { return v.visit(*this); }

}  // namespace ASN1
