#include "asn1/visitor.h"

#include <cstdlib>
#include <cstring>

#include "asn1/asn1.h"

namespace ASN1 {

bool Visitor::do_visit(IntegerWithNamedNumber& v) { return visit(static_cast<INTEGER&>(v)); }

bool Visitor::visit(SEQUENCE& seq) {
  const int s = preVisitExtensionRoots(seq);
  if (s <= 1) return s != 0;
  const SEQUENCE::InfoType* d = seq.info();
  for (unsigned i = 0; i < d->numRootFields; ++i) {
    const int r = visitExtensionRoot(seq, int(i), d->fieldIds[i]);
    if (r <= 1) return r != 0;
  }
  if (s != 3) return true;
  int r = preVisitExtensions(seq);
  if (r != 3) return r != 0;
  // Extension additions are numbered on from the optional root fields, whose
  // bits are 0 .. numOptional - 1 in declaration order.
  int number = int(d->numOptional);
  for (unsigned i = d->numRootFields; i < seq.getNumFields(); ++i, ++number) {
    r = visitKnownExtension(seq, int(i), number);
    if (r != 3) return r != 0;
  }
  return visitUnknownExtensions(seq) != 0;
}

bool ConstVisitor::do_visit(const Null& v) { return do_visit(static_cast<const AbstractData&>(v)); }
bool ConstVisitor::do_visit(const BOOLEAN& v) { return do_visit(static_cast<const AbstractData&>(v)); }
bool ConstVisitor::do_visit(const INTEGER& v) { return do_visit(static_cast<const AbstractData&>(v)); }
bool ConstVisitor::do_visit(const IntegerWithNamedNumber& v) {
  return do_visit(static_cast<const INTEGER&>(v));
}
bool ConstVisitor::do_visit(const ENUMERATED& v) { return do_visit(static_cast<const AbstractData&>(v)); }
bool ConstVisitor::do_visit(const OBJECT_IDENTIFIER& v) {
  return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::do_visit(const BIT_STRING& v) { return do_visit(static_cast<const AbstractData&>(v)); }
bool ConstVisitor::do_visit(const OCTET_STRING& v) {
  return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::do_visit(const AbstractString& v) {
  return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::do_visit(const BMPString& v) { return do_visit(static_cast<const AbstractData&>(v)); }
bool ConstVisitor::do_visit(const CHOICE& v) { return do_visit(static_cast<const AbstractData&>(v)); }
bool ConstVisitor::do_visit(const OpenData& v) { return do_visit(static_cast<const AbstractData&>(v)); }
bool ConstVisitor::do_visit(const GeneralizedTime& v) {
  return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::do_visit(const SEQUENCE_OF_Base& v) {
  return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::preVisitExtensionRoots(const SEQUENCE& v) {
  return do_visit(static_cast<const AbstractData&>(v));
}

bool ConstVisitor::visit(const SEQUENCE& seq) {
  if (!preVisitExtensionRoots(seq)) return false;
  const SEQUENCE::InfoType* d = seq.info();
  for (unsigned i = 0; i < d->numRootFields; ++i) {
    const int p = d->fieldIds[i];
    if (p == -1 || seq.hasOptionalField(unsigned(p))) {
      if (!visitExtensionRoot(seq, int(i))) return false;
    }
  }
  if (seq.extensionMap().size() > 0) {
    if (!preVisitExtensions(seq)) return false;
    unsigned number = d->numOptional;
    for (unsigned i = d->numRootFields; i < seq.getNumFields(); ++i, ++number) {
      if (seq.hasOptionalField(number) && !visitKnownExtension(seq, int(i))) return false;
    }
  }
  return afterVisitSequence(seq);
}

unsigned getIntegerDataLength(int v) {
  int shift = 23;
  for (; shift > 0; shift -= 8) {
    const unsigned nine = (unsigned(v) >> shift) & 0x1FF;
    if (v >= 0 ? nine != 0 : nine != 0x1FF) break;
  }
  if (shift < 0) shift = -1;
  return unsigned(shift + 9) / 8;
}

bool get_from_string(const std::string& text, std::vector<char>& bytes, unsigned& digitCount,
                     int base) {
  std::string digits;
  for (char c : text)
    if (c != ' ' && c != '\n') digits += c;
  digitCount = unsigned(digits.size());
  const std::size_t group = base == 16 ? 2 : 8;
  if (digits.size() % group != 0) digits.append(group - digits.size() % group, '0');
  for (std::size_t i = 0; i < digits.size(); i += group) {
    const std::string part = digits.substr(i, group);
    char* end = nullptr;
    const long v = std::strtol(part.c_str(), &end, base);
    if (end != part.c_str() + part.size()) return false;
    bytes.push_back(char(v & 0xFF));
  }
  return true;
}

bool get_id(const char* const* names, unsigned count, const std::string& name, int& index) {
  for (unsigned i = 0; i < count; ++i) {
    if (name == names[i]) {
      index = int(i);
      return true;
    }
  }
  return false;
}

}  // namespace ASN1
