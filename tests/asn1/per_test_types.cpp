// Descriptors of the PerTest module, in the generator's form: plain
// aggregates from constant expressions, so they are constant-initialised.
#include "tests/asn1/per_test_types.h"

namespace PerTest {

const char* const Colour_enum_names__[] = {"red", "green", "blue"};
const Colour::InfoType Colour::theInfo = {{&ASN1::create_as<Colour>, 10}, false, 2, Colour_enum_names__, 3};

const char* const Shade_enum_names__[] = {"dark", "light"};
const Shade::InfoType Shade::theInfo = {{&ASN1::create_as<Shade>, 10}, true, 1, Shade_enum_names__, 2};

const char* const Sparse_enum_names__[] = {"not-use=-1", "active", "standby", "far=40"};
const Sparse::InfoType Sparse::theInfo = {{&ASN1::create_as<Sparse>, 10}, true, 40, Sparse_enum_names__, 4};

// ---------------------------------------------------------------- Ints
const ASN1::TypeInfo* const Ints::fieldInfos[] = {
    &ASN1::INTEGER::theInfo,       &INTEGER_full::theInfo,          &INTEGER_0_1::theInfo,
    &INTEGER_0_127::theInfo,       &INTEGER_0_254::theInfo,         &INTEGER_0_255::theInfo,
    &INTEGER_0_65535::theInfo,     &INTEGER_0_65536::theInfo,       &INTEGER_0_4294967295::theInfo,
    &INTEGER_m128_127::theInfo,    &INTEGER_112000_399975::theInfo, &INTEGER_0_1023_ext::theInfo};
const int Ints::fieldIds[] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
const char* const Ints::fieldNames[] = {"u",      "full", "b1",  "b7",  "b254", "b255",
                                        "k64",    "k65536", "big", "neg", "off", "ext"};
const Ints::InfoType Ints::theInfo = {
    {&ASN1::create_as<Ints>, 16}, false, Ints::fieldInfos, Ints::fieldIds, 12, 0, 0, nullptr, nullptr,
    Ints::fieldNames};

// ---------------------------------------------------------------- Strs
// IA5String with a size constraint: the kind's tag, set and widths.
const ASN1::AbstractString::InfoType IA5String_1_300 = {
    {{&ASN1::IA5String::create, 22}, ASN1::FixedConstraint, 1, 300u}, ASN1::IA5StringSet, 128, 7, 7, 8};
const ASN1::AbstractString::InfoType IA5String_1_64 = {
    {{&ASN1::IA5String::create, 22}, ASN1::FixedConstraint, 1, 64u}, ASN1::IA5StringSet, 128, 7, 7, 8};
const ASN1::AbstractString::InfoType IA5String_2 = {
    {{&ASN1::IA5String::create, 22}, ASN1::FixedConstraint, 2, 2u}, ASN1::IA5StringSet, 128, 7, 7, 8};
const ASN1::AbstractString::InfoType IA5String_1_20 = {
    {{&ASN1::IA5String::create, 22}, ASN1::FixedConstraint, 1, 20u}, ASN1::IA5StringSet, 128, 7, 7, 8};
const ASN1::AbstractString::InfoType IA5String_0_40 = {
    {{&ASN1::IA5String::create, 22}, ASN1::FixedConstraint, 0, 40u}, ASN1::IA5StringSet, 128, 7, 7, 8};
const ASN1::OCTET_STRING::InfoType OCTET_STRING_2 = {{&ASN1::OCTET_STRING::create, 4}, ASN1::FixedConstraint, 2, 2u};

const ASN1::TypeInfo* const Strs::fieldInfos[] = {
    &ASN1::OCTET_STRING::theInfo, &OCTET_STRING_2,          &IA5String_1_300,
    &IA5String_1_64,              &IA5String_2,             &ASN1::BOOLEAN::theInfo,
    &ASN1::Null::theInfo,         &ASN1::BIT_STRING::theInfo, &ASN1::OBJECT_IDENTIFIER::theInfo};
const int Strs::fieldIds[] = {-1, -1, -1, -1, -1, -1, -1, -1, -1};
const char* const Strs::fieldNames[] = {"o", "o2", "ia5", "ia5s", "ia5f", "flag", "nul", "bits", "oid"};
const Strs::InfoType Strs::theInfo = {
    {&ASN1::create_as<Strs>, 16}, false, Strs::fieldInfos, Strs::fieldIds, 9, 0, 0, nullptr, nullptr,
    Strs::fieldNames};

// ---------------------------------------------------------------- choices
const ASN1::TypeInfo* const Cmd::selectionInfos[] = {
    &ASN1::Null::theInfo, &ASN1::OCTET_STRING::theInfo, &INTEGER_0_1023::theInfo,
    &Ints::theInfo,       &Strs::theInfo,               &ASN1::BOOLEAN::theInfo};
const char* const Cmd::selectionNames[] = {"ping", "echo", "connect", "ints", "strs", "later"};
const Cmd::InfoType Cmd::theInfo = {
    {&ASN1::create_as<Cmd>, 0}, true, Cmd::selectionInfos, 5, 6, nullptr, Cmd::selectionNames};

const ASN1::TypeInfo* const Single::selectionInfos[] = {&INTEGER_0_7::theInfo};
const char* const Single::selectionNames[] = {"only"};
const Single::InfoType Single::theInfo = {
    {&ASN1::create_as<Single>, 0}, false, Single::selectionInfos, 1, 1, nullptr, Single::selectionNames};

const ASN1::TypeInfo* const Plain::selectionInfos[] = {&ASN1::BOOLEAN::theInfo, &IA5String_1_20,
                                                       &Colour::theInfo};
const char* const Plain::selectionNames[] = {"a", "b", "c"};
const Plain::InfoType Plain::theInfo = {
    {&ASN1::create_as<Plain>, 0}, false, Plain::selectionInfos, 3, 3, nullptr, Plain::selectionNames};

// ---------------------------------------------------------------- records
const ASN1::TypeInfo* const Item::fieldInfos[] = {&INTEGER_0_255::theInfo, &IA5String_1_64,
                                                  &Shade::theInfo};
const int Item::fieldIds[] = {-1, 0, -1};
const char* const Item::fieldNames[] = {"id", "label", "shade"};
const Item::InfoType Item::theInfo = {
    {&ASN1::create_as<Item>, 16}, true, Item::fieldInfos, Item::fieldIds, 3, 0, 1, nullptr, nullptr,
    Item::fieldNames};

const ASN1::TypeInfo* const Msg::fieldInfos[] = {
    &INTEGER_0_65535::theInfo, &INTEGER_0_1023::theInfo, &Cmd::theInfo,        &Colour::theInfo,
    &ItemList::theInfo,        &Single::theInfo,         &Plain::theInfo,      &INTEGER_0_7::theInfo,
    &IA5String_0_40};
const int Msg::fieldIds[] = {0, 1, -1, -1, -1, 2, 3, 0, 0};
const char* const Msg::fieldNames[] = {"seq",    "slot",  "pdu",   "colour",   "items",
                                       "single", "plain", "trace", "note-text"};
const Msg::InfoType Msg::theInfo = {
    {&ASN1::create_as<Msg>, 16}, true, Msg::fieldInfos, Msg::fieldIds, 7, 2, 4, nullptr, nullptr,
    Msg::fieldNames};

const ASN1::TypeInfo* const MsgV1::fieldInfos[] = {
    &INTEGER_0_65535::theInfo, &INTEGER_0_1023::theInfo, &Cmd::theInfo,  &Colour::theInfo,
    &ItemList::theInfo,        &Single::theInfo,         &Plain::theInfo};
const char* const MsgV1::fieldNames[] = {"seq", "slot", "pdu", "colour", "items", "single", "plain"};
const MsgV1::InfoType MsgV1::theInfo = {
    {&ASN1::create_as<MsgV1>, 16}, true, MsgV1::fieldInfos, Msg::fieldIds, 7, 0, 4, nullptr, nullptr,
    MsgV1::fieldNames};

}  // namespace PerTest
