#include "asn1/char_string.h"

#include <ostream>

#include "asn1/visitor.h"

namespace ASN1 {

const char NumericStringSet[] = " 0123456789";
const char PrintableStringSet[] =
    " '()+,-./0123456789:=?ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

const char IA5StringSet[128] = {
#define C8(n) char(n), char(n + 1), char(n + 2), char(n + 3), char(n + 4), char(n + 5), char(n + 6), char(n + 7)
    C8(0),  C8(8),  C8(16), C8(24), C8(32), C8(40),  C8(48),  C8(56),
    C8(64), C8(72), C8(80), C8(88), C8(96), C8(104), C8(112), C8(120)};
const char VisibleStringSet[95] = {
    C8(32), C8(40), C8(48), C8(56), C8(64), C8(72), C8(80), C8(88), C8(96), C8(104), C8(112),
    char(120), char(121), char(122), char(123), char(124), char(125), char(126)};
#define U8(n) char(n > 127 ? n - 256 : n), char(n + 1 > 127 ? n + 1 - 256 : n + 1), \
              char(n + 2 > 127 ? n + 2 - 256 : n + 2), char(n + 3 > 127 ? n + 3 - 256 : n + 3), \
              char(n + 4 > 127 ? n + 4 - 256 : n + 4), char(n + 5 > 127 ? n + 5 - 256 : n + 5), \
              char(n + 6 > 127 ? n + 6 - 256 : n + 6), char(n + 7 > 127 ? n + 7 - 256 : n + 7)
const char GeneralStringSet[256] = {
    U8(0),   U8(8),   U8(16),  U8(24),  U8(32),  U8(40),  U8(48),  U8(56),
    U8(64),  U8(72),  U8(80),  U8(88),  U8(96),  U8(104), U8(112), U8(120),
    U8(128), U8(136), U8(144), U8(152), U8(160), U8(168), U8(176), U8(184),
    U8(192), U8(200), U8(208), U8(216), U8(224), U8(232), U8(240), U8(248)};
#undef U8
#undef C8

const AbstractString::InfoType NumericString::theInfo = {
    {{&create_as<NumericString>, 18}, Unconstrained, 0, 0xFFFFFFFFu}, NumericStringSet, 11, 4, 4, 4};
const AbstractString::InfoType PrintableString::theInfo = {
    {{&create_as<PrintableString>, 19}, Unconstrained, 0, 0xFFFFFFFFu}, PrintableStringSet, 74, 7, 7, 8};
const AbstractString::InfoType IA5String::theInfo = {
    {{&IA5String::create, 22}, Unconstrained, 0, 0xFFFFFFFFu}, IA5StringSet, 128, 7, 7, 8};
const AbstractString::InfoType VisibleString::theInfo = {
    {{&create_as<VisibleString>, 26}, Unconstrained, 0, 0xFFFFFFFFu}, VisibleStringSet, 95, 7, 7, 8};
const AbstractString::InfoType GeneralString::theInfo = {
    {{&create_as<GeneralString>, 27}, Unconstrained, 0, 0xFFFFFFFFu}, GeneralStringSet, 256, 8, 8, 8};

AbstractData* AbstractString::create(const TypeInfo* info) {
  return new AbstractString(static_cast<const InfoType*>(info));
}

AbstractString::size_type AbstractString::find_first_invalid() const {
  const char* set = getCharacterSet();
  const unsigned setSize = getCharacterSetSize();
  if (set == nullptr || setSize == 0) return npos;
  for (size_type i = 0; i < size(); ++i) {
    bool found = false;
    for (unsigned j = 0; j < setSize && !found; ++j) found = set[j] == (*this)[i];
    if (!found) return i;
  }
  return npos;
}

int AbstractString::do_compare(const AbstractData& other) const {
  return std::string::compare(static_cast<const AbstractString&>(other));
}

AbstractData* AbstractString::do_clone() const { return cloneAs<AbstractString>(); }

bool AbstractString::do_accept(Visitor& v) { return v.visit(*this); }
bool AbstractString::do_accept(ConstVisitor& v) const { return v.visit(*this); }

AbstractData* IA5String::create(const TypeInfo* info) {
  return new IA5String(static_cast<const InfoType*>(info));
}

std::ostream& operator<<(std::ostream& os, const AbstractString& s) {
  return os << static_cast<const std::string&>(s);
}

const BMPString::InfoType BMPString::theInfo = {
    {{&BMPString::create, 30}, Unconstrained, 0, 0xFFFFFFFFu}, 0, 65535, 16, 16};

AbstractData* BMPString::create(const TypeInfo* info) {
  return new BMPString(static_cast<const InfoType*>(info));
}

BMPString::size_type BMPString::first_illegal_at() const {
  for (size_type i = 0; i < size(); ++i)
    if (!legalCharacter((*this)[i])) return i;
  return size();
}

int BMPString::do_compare(const AbstractData& other) const {
  return std::wstring::compare(static_cast<const BMPString&>(other));
}

AbstractData* BMPString::do_clone() const { return cloneAs<BMPString>(); }

bool BMPString::do_accept(Visitor& v) { return v.visit(*this); }
bool BMPString::do_accept(ConstVisitor& v) const { return v.visit(*this); }

}  // namespace ASN1
