#include "asn1/object_identifier.h"

#include "asn1/visitor.h"

namespace ASN1 {

const OBJECT_IDENTIFIER::InfoType OBJECT_IDENTIFIER::theInfo = {&OBJECT_IDENTIFIER::create, 6};

AbstractData* OBJECT_IDENTIFIER::create(const TypeInfo* info) { return new OBJECT_IDENTIFIER(info); }

namespace {
void putSubidentifier(std::vector<char>& out, unsigned v) {
  int shift = 28;
  while (shift > 0 && (v >> shift) == 0) shift -= 7;
  for (; shift > 0; shift -= 7) out.push_back(char(0x80 | ((v >> shift) & 0x7F)));
  out.push_back(char(v & 0x7F));
}
}  // namespace

void OBJECT_IDENTIFIER::encodeCommon(std::vector<char>& out) const {
  if (arcs_.size() < 2) return;
  putSubidentifier(out, arcs_[0] * 40 + arcs_[1]);
  for (std::size_t i = 2; i < arcs_.size(); ++i) putSubidentifier(out, arcs_[i]);
}

bool OBJECT_IDENTIFIER::decodeCommon(const char* data, unsigned length) {
  arcs_.clear();
  const unsigned char* p = reinterpret_cast<const unsigned char*>(data);
  const unsigned char* end = p + length;
  bool first = true;
  while (p != end) {
    unsigned v = 0;
    unsigned char octet;
    do {
      if (p == end) return false;
      octet = *p++;
      v = (v << 7) | (octet & 0x7F);
    } while (octet & 0x80);
    if (first) {
      if (v < 40) {
        arcs_.push_back(0);
        arcs_.push_back(v);
      } else if (v < 80) {
        arcs_.push_back(1);
        arcs_.push_back(v - 40);
      } else {
        arcs_.push_back(2);
        arcs_.push_back(v - 80);
      }
      first = false;
    } else {
      arcs_.push_back(v);
    }
  }
  return true;
}

int OBJECT_IDENTIFIER::do_compare(const AbstractData& otherData) const {
  const OBJECT_IDENTIFIER& other = static_cast<const OBJECT_IDENTIFIER&>(otherData);
  const std::size_t n = std::min(arcs_.size(), other.arcs_.size());
  for (std::size_t i = 0; i < n; ++i)
    if (arcs_[i] != other.arcs_[i]) return int(arcs_[i] - other.arcs_[i]);
  return int(arcs_.size()) - int(other.arcs_.size());
}

AbstractData* OBJECT_IDENTIFIER::do_clone() const { return cloneAs<OBJECT_IDENTIFIER>(); }

bool OBJECT_IDENTIFIER::do_accept(Visitor& v) { return v.visit(*this); }
bool OBJECT_IDENTIFIER::do_accept(ConstVisitor& v) const { return v.visit(*this); }

}  // namespace ASN1
