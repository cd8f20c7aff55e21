// The PerTest module's classes (PerTest.asn), made at build time by the
// message generator, and the short names the ASN.1 tests give its field
// types and sized string descriptors.
#ifndef TESTS_ASN1_PER_TEST_TYPES_H
#define TESTS_ASN1_PER_TEST_TYPES_H

#include "messages/pertest/PerTest.h"

namespace PerTest {

template <int lb, unsigned ub>
using Fixed = ASN1::Constrained_INTEGER<ASN1::FixedConstraint, lb, ub>;
typedef Fixed<0, 1u> INTEGER_0_1;
typedef Fixed<0, 7u> INTEGER_0_7;
typedef Fixed<0, 127u> INTEGER_0_127;
typedef Fixed<0, 254u> INTEGER_0_254;
typedef Fixed<0, 255u> INTEGER_0_255;
typedef Fixed<0, 1023u> INTEGER_0_1023;
typedef Fixed<0, 65535u> INTEGER_0_65535;
typedef Fixed<0, 65536u> INTEGER_0_65536;
typedef Fixed<0, 4294967295u> INTEGER_0_4294967295;
typedef Fixed<-128, 127u> INTEGER_m128_127;
typedef Fixed<112000, 399975u> INTEGER_112000_399975;
typedef Fixed<5, 5u> INTEGER_5_5;
typedef Fixed<-2147483647 - 1, 2147483647u> INTEGER_full;
typedef ASN1::Constrained_INTEGER<ASN1::ExtendableConstraint, 0, 1023u> INTEGER_0_1023_ext;
typedef ASN1::SEQUENCE_OF<Item> ItemList;

// The generated descriptors of the sized strings, by their sizes.
inline const ASN1::AbstractString::InfoType& stringInfo(const ASN1::TypeInfo* info) {
  return *static_cast<const ASN1::AbstractString::InfoType*>(info);
}
static const ASN1::AbstractString::InfoType& IA5String_1_300 = stringInfo(Strs::fieldInfos[2]);
static const ASN1::AbstractString::InfoType& IA5String_1_64 = stringInfo(Strs::fieldInfos[3]);
static const ASN1::AbstractString::InfoType& IA5String_2 = stringInfo(Strs::fieldInfos[4]);
static const ASN1::AbstractString::InfoType& IA5String_1_20 = stringInfo(Plain::selectionInfos[1]);
static const ASN1::AbstractString::InfoType& IA5String_0_40 = stringInfo(Msg::fieldInfos[8]);
static const ASN1::OCTET_STRING::InfoType& OCTET_STRING_2 =
    *static_cast<const ASN1::OCTET_STRING::InfoType*>(Strs::fieldInfos[1]);

}  // namespace PerTest

#endif
