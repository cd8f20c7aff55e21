// Shared by the ASN.1 tests: the PerTest module's classes (PerTest.asn, made
// at build time by the message generator), coding by rule in hex, and the
// test types by their ASN.1 text, for the data files beside the tests.
#ifndef TESTS_ASN1_RULE_HELPERS_H
#define TESTS_ASN1_RULE_HELPERS_H

#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "asn1/asn1.h"
#include "messages/pertest/PerTest.h"
#include "tests/support/bytes.h"
#include "tests/oracle/per_oracle.h"
#include "tests/support/golden.h"

namespace PerTest {
template <int lb, unsigned ub>
using Fixed = ASN1::Constrained_INTEGER<ASN1::FixedConstraint, lb, ub>;
typedef ASN1::Constrained_INTEGER<ASN1::ExtendableConstraint, 0, 1023u> INTEGER_0_1023_ext;
typedef ASN1::SEQUENCE_OF<Item> ItemList;
}  // namespace PerTest

namespace ruletest {

using namespace PerTest;
typedef std::unique_ptr<ASN1::AbstractData> Value;
typedef ASN1::CoderEnv::EncodingRules Rule;

// The encoding in hex without blanks, or "FAIL"; decoding an exact-size copy.
inline std::string encodeHex(const ASN1::AbstractData& value, Rule rule = ASN1::CoderEnv::per) {
  return oracle::encodeHex(value, rule);
}
inline bool decode(std::vector<char> octets, ASN1::AbstractData& value, Rule rule = ASN1::CoderEnv::per) {
  return oracle::decode(std::move(octets), value, rule);
}
inline bool decodeHex(const std::string& text, ASN1::AbstractData& value, Rule rule = ASN1::CoderEnv::per) {
  return oracle::decode(TestBytes::FromHex(text), value, rule);
}

// Types beyond the test schema's, by their ASN.1 text.
typedef Fixed<0, 3u> Int03;
typedef ASN1::Constrained_INTEGER<ASN1::ExtendableConstraint, 0, 7u> Int07ext;
const ASN1::OCTET_STRING::InfoType kOctets24[] = {{{&ASN1::OCTET_STRING::create, 4}, ASN1::FixedConstraint, 2, 4u},
                                                  {{&ASN1::OCTET_STRING::create, 4}, ASN1::ExtendableConstraint, 2, 4u},
                                                  {{&ASN1::OCTET_STRING::create, 4}, ASN1::Unconstrained, 2, 4u}};
const ASN1::BIT_STRING::InfoType kBits8 = {{&ASN1::BIT_STRING::create, 3}, ASN1::FixedConstraint, 8, 8u};
const ASN1::BIT_STRING::InfoType kBits016 = {{&ASN1::BIT_STRING::create, 3}, ASN1::FixedConstraint, 0, 16u};
const ASN1::SEQUENCE_OF_Base::InfoType kInts12 = {
    {{&ASN1::SEQUENCE_OF_Base::create, 16}, ASN1::FixedConstraint, 1, 2u}, &Int03::theInfo};
// Bounds in descriptors whose constraint type is not fixed.
const ASN1::AbstractString::InfoType kIA5Unconstrained24 = {
    {{&ASN1::IA5String::create, 22}, ASN1::Unconstrained, 2, 4u}, ASN1::IA5String::theInfo.characterSet, 128, 7, 7, 8};
const ASN1::SEQUENCE_OF_Base::InfoType kIntsUnconstrained12 = {
    {{&ASN1::SEQUENCE_OF_Base::create, 16}, ASN1::Unconstrained, 1, 2u}, &Int03::theInfo};
const ASN1::TypeInfo* const kTag40Infos[] = {&ASN1::INTEGER::theInfo};
const int kTag40Ids[] = {-1};
const unsigned kTag40Tags[] = {ASN1::contextTag(40)};
const char* const kTag40Names[] = {"n"};
const ASN1::SEQUENCE::InfoType kTag40 = {
    {&ASN1::SEQUENCE::create, 16}, false, kTag40Infos, kTag40Ids, 1, 0, 0, nullptr, kTag40Tags, kTag40Names};
const ASN1::INTEGER::InfoType kFrom1 = {{&ASN1::INTEGER::create, 2}, ASN1::PartiallyConstrained, 1, 0xFFFFFFFFu};
const ASN1::INTEGER::InfoType kFromMinus5 = {{&ASN1::INTEGER::create, 2}, ASN1::PartiallyConstrained, -5,
                                             0xFFFFFFFFu};
// A record with a tag table (no generated one has any): a tagged field and
// an untagged CHOICE field.
const ASN1::TypeInfo* const kTaggedInfos[] = {&ASN1::INTEGER::theInfo, &Plain::theInfo};
const int kTaggedIds[] = {-1, -1};
const unsigned kTaggedTags[] = {ASN1::contextTag(5), 0};
const char* const kTaggedNames[] = {"a", "c"};
const ASN1::SEQUENCE::InfoType kTagged = {
    {&ASN1::SEQUENCE::create, 16}, false, kTaggedInfos, kTaggedIds, 2, 0, 0, nullptr, kTaggedTags, kTaggedNames};
const ASN1::OCTET_STRING::InfoType kOctets16 = {{&ASN1::OCTET_STRING::create, 4}, ASN1::FixedConstraint, 0, 16u};
const int kOptionalIds[] = {0};
const ASN1::SEQUENCE::InfoType kOptional40 = {
    {&ASN1::SEQUENCE::create, 16}, false, kTag40Infos, kOptionalIds, 1, 0, 1, nullptr, kTag40Tags, kTag40Names};

// Choices with tag tables: the root alternatives' tags, ascending; an
// extension alternative under its own tag; an untagged first alternative.
const ASN1::TypeInfo* const kTaggedChoiceInfos[] = {&ASN1::INTEGER::theInfo, &ASN1::BOOLEAN::theInfo};
const unsigned kTaggedChoiceTags[] = {ASN1::contextTag(5)};
const char* const kTaggedChoiceNames[] = {"a", "b"};
const ASN1::CHOICE::InfoType kTaggedChoice = {{&ASN1::CHOICE::create, 0}, true, kTaggedChoiceInfos, 1, 2,
                                              kTaggedChoiceTags, kTaggedChoiceNames};
const ASN1::TypeInfo* const kOpenFirstInfos[] = {&ASN1::OpenData::theInfo, &ASN1::BOOLEAN::theInfo};
const unsigned kOpenFirstTags[] = {0, ASN1::contextTag(3)};
const char* const kOpenFirstNames[] = {"o", "b"};
const ASN1::CHOICE::InfoType kOpenFirst = {{&ASN1::CHOICE::create, 0}, false, kOpenFirstInfos, 2, 2,
                                           kOpenFirstTags, kOpenFirstNames};

// A new default value of the named type; null for an unknown name.
inline ASN1::AbstractData* makeType(const std::string& name) {
  static const std::map<std::string, const ASN1::TypeInfo*> types = {
      {"INTEGER", &ASN1::INTEGER::theInfo}, {"INTEGER (0..7)", &Fixed<0, 7u>::theInfo},
      {"INTEGER (0..7, ...)", &Int07ext::theInfo}, {"INTEGER (-128..127)", &Fixed<-128, 127u>::theInfo},
      {"INTEGER (-128..127, ...)", &ASN1::Constrained_INTEGER<ASN1::ExtendableConstraint, -128, 127u>::theInfo},
      {"INTEGER (0..4294967295)", &Fixed<0, 4294967295u>::theInfo},
      {"INTEGER (112000..399975)", &Fixed<112000, 399975u>::theInfo}, {"BOOLEAN", &ASN1::BOOLEAN::theInfo},
      {"INTEGER (1..MAX)", &kFrom1}, {"INTEGER (-5..MAX)", &kFromMinus5},
      {"INTEGER (-2147483648..2147483647)", &Fixed<-2147483647 - 1, 2147483647u>::theInfo},
      {"INTEGER (0..1023)", &Fixed<0, 1023u>::theInfo}, {"INTEGER (5)", &Fixed<5, 5u>::theInfo},
      {"INTEGER (0..1023, ...)", &INTEGER_0_1023_ext::theInfo}, {"NumericString", &ASN1::NumericString::theInfo},
      {"OCTET STRING (SIZE (0..16))", &kOctets16},
      {"NULL", &ASN1::Null::theInfo}, {"IA5String", &ASN1::IA5String::theInfo},
      {"PrintableString", &ASN1::PrintableString::theInfo}, {"BMPString", &ASN1::BMPString::theInfo},
      {"OCTET STRING", &ASN1::OCTET_STRING::theInfo}, {"OCTET STRING (SIZE (2..4))", &kOctets24[0]},
      {"OCTET STRING (SIZE (2..4, ...))", &kOctets24[1]}, {"OCTET STRING unconstrained, bounds 2..4", &kOctets24[2]},
      {"BIT STRING", &ASN1::BIT_STRING::theInfo}, {"BIT STRING (SIZE (8))", &kBits8},
      {"BIT STRING (SIZE (0..16))", &kBits016},
      {"OBJECT IDENTIFIER", &ASN1::OBJECT_IDENTIFIER::theInfo}, {"GeneralizedTime", &ASN1::GeneralizedTime::theInfo},
      {"open type", &ASN1::OpenData::theInfo}, {"SEQUENCE OF INTEGER (0..3)", &ASN1::SEQUENCE_OF<Int03>::theInfo},
      {"SEQUENCE (SIZE (1..2)) OF INTEGER (0..3)", &kInts12},
      {"SEQUENCE OF INTEGER (0..3) unconstrained, bounds 1..2", &kIntsUnconstrained12},
      {"IA5String unconstrained, bounds 2..4", &kIA5Unconstrained24}, {"SEQUENCE { n [40] INTEGER }", &kTag40},
      {"SEQUENCE { n [40] INTEGER OPTIONAL }", &kOptional40}, {"SEQUENCE { a [5] INTEGER, c Plain }", &kTagged},
      {"Empty", &Empty::theInfo},
      {"Outer", &Outer::theInfo}, {"TextFlag", &TextFlag::theInfo},
      {"Colour", &Colour::theInfo}, {"Shade", &Shade::theInfo}, {"Sparse", &Sparse::theInfo},
      {"Ints", &Ints::theInfo}, {"Strs", &Strs::theInfo}, {"Cmd", &Cmd::theInfo}, {"Single", &Single::theInfo},
      {"Plain", &Plain::theInfo}, {"Item", &Item::theInfo}, {"SEQUENCE OF Item", &ItemList::theInfo},
      {"Msg", &Msg::theInfo}, {"MsgV1", &MsgV1::theInfo},
      {"Holder", &Holder::theInfo}, {"HolderV2", &HolderV2::theInfo}, {"CmdV1", &CmdV1::theInfo},
      {"OnlyNull", &OnlyNull::theInfo}, {"NullLast", &NullLast::theInfo},
      {"CHOICE { a [5] INTEGER, ..., b BOOLEAN }", &kTaggedChoice},
      {"CHOICE { o open type, b [3] BOOLEAN }", &kOpenFirst}};
  const auto it = types.find(name);
  return it == types.end() ? nullptr : ASN1::AbstractData::create(it->second);
}

// A value of the named type read from value notation; null when that fails.
inline Value parse(const std::string& type, const std::string& text) {
  Value v(makeType(type));
  return v && v->setFromValueNotation(text) ? std::move(v) : nullptr;
}

}  // namespace ruletest

#endif
