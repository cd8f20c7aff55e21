// The PerTest module (PerTest.asn), written by hand in exactly the form the
// message generator emits for every module. It shows the descriptor and
// accessor shapes:
//  - every type is a class with a `static const InfoType theInfo;` defined
//    in the .cpp from constant expressions only (constant-initialised);
//  - the descriptor's create function is &ASN1::create_as<Class>;
//  - records: fieldInfos / fieldIds / fieldNames statics; choices:
//    selectionInfos / selectionNames; enumerations: a T_enum_names__ table
//    beside the class and a NamedNumber enumeration;
//  - constrained INTEGER fields use ASN1::Constrained_INTEGER<ct, lb, ub>;
//    sized strings have a descriptor of their own (a constant of the module)
//    and use the runtime class (ASN1::IA5String, ASN1::OCTET_STRING);
//  - lists are ASN1::SEQUENCE_OF<E, ASN1::EmptyConstraint>, no size bound.
#ifndef TESTS_ASN1_PER_TEST_TYPES_H
#define TESTS_ASN1_PER_TEST_TYPES_H

#include <string>
#include <type_traits>

#include "asn1/asn1.h"

namespace PerTest {

// ---------------------------------------------------------------- Colour
// Colour ::= ENUMERATED { red, green, blue }
class Colour : public ASN1::ENUMERATED {
 public:
  enum NamedNumber { red = 0, green = 1, blue = 2 };
  static const InfoType theInfo;

  Colour() : ASN1::ENUMERATED(&theInfo) {}
  Colour(NamedNumber v) : ASN1::ENUMERATED(&theInfo) { setFromInt(v); }
  Colour(const Colour& other) : ASN1::ENUMERATED(other) {}
  ~Colour() override {}
  Colour& operator=(const Colour& other) {
    ASN1::ENUMERATED::operator=(other);
    return *this;
  }
  Colour& operator=(NamedNumber v) {
    setFromInt(v);
    return *this;
  }
  operator NamedNumber() const { return NamedNumber(asInt()); }
  bool is_red() const { return asInt() == red; }
  void set_red() { setFromInt(red); }
  bool is_green() const { return asInt() == green; }
  void set_green() { setFromInt(green); }
  bool is_blue() const { return asInt() == blue; }
  void set_blue() { setFromInt(blue); }
  Colour* clone() const { return static_cast<Colour*>(ASN1::AbstractData::clone()); }
};
extern const char* const Colour_enum_names__[];

// Shade ::= ENUMERATED { dark, light, ... }
class Shade : public ASN1::ENUMERATED {
 public:
  enum NamedNumber { dark = 0, light = 1 };
  static const InfoType theInfo;

  Shade() : ASN1::ENUMERATED(&theInfo) {}
  Shade(NamedNumber v) : ASN1::ENUMERATED(&theInfo) { setFromInt(v); }
  Shade(const Shade& other) : ASN1::ENUMERATED(other) {}
  ~Shade() override {}
  Shade& operator=(const Shade& other) {
    ASN1::ENUMERATED::operator=(other);
    return *this;
  }
  Shade& operator=(NamedNumber v) {
    setFromInt(v);
    return *this;
  }
  operator NamedNumber() const { return NamedNumber(asInt()); }
  bool is_dark() const { return asInt() == dark; }
  void set_dark() { setFromInt(dark); }
  bool is_light() const { return asInt() == light; }
  void set_light() { setFromInt(light); }
  Shade* clone() const { return static_cast<Shade*>(ASN1::AbstractData::clone()); }
};
extern const char* const Shade_enum_names__[];

// Sparse ::= ENUMERATED { not-use(-1), active, standby, ..., far(40) }: this
// runtime writes enumerations by value, not by position (no Erlang twin).
class Sparse : public ASN1::ENUMERATED {
 public:
  enum NamedNumber { not_use = -1, active = 0, standby = 1, far = 40 };
  static const InfoType theInfo;

  Sparse() : ASN1::ENUMERATED(&theInfo) {}
  Sparse(NamedNumber v) : ASN1::ENUMERATED(&theInfo) { setFromInt(v); }
  Sparse(const Sparse& other) : ASN1::ENUMERATED(other) {}
  ~Sparse() override {}
  Sparse& operator=(const Sparse& other) {
    ASN1::ENUMERATED::operator=(other);
    return *this;
  }
  Sparse& operator=(NamedNumber v) {
    setFromInt(v);
    return *this;
  }
  operator NamedNumber() const { return NamedNumber(asInt()); }
  bool is_not_use() const { return asInt() == not_use; }
  void set_not_use() { setFromInt(not_use); }
  bool is_standby() const { return asInt() == standby; }
  void set_standby() { setFromInt(standby); }
};
extern const char* const Sparse_enum_names__[];

// ---------------------------------------------------------------- Ints
typedef ASN1::Constrained_INTEGER<ASN1::FixedConstraint, 0, 1u> INTEGER_0_1;
typedef ASN1::Constrained_INTEGER<ASN1::FixedConstraint, 0, 7u> INTEGER_0_7;
typedef ASN1::Constrained_INTEGER<ASN1::FixedConstraint, 0, 127u> INTEGER_0_127;
typedef ASN1::Constrained_INTEGER<ASN1::FixedConstraint, 0, 254u> INTEGER_0_254;
typedef ASN1::Constrained_INTEGER<ASN1::FixedConstraint, 0, 255u> INTEGER_0_255;
typedef ASN1::Constrained_INTEGER<ASN1::FixedConstraint, 0, 1023u> INTEGER_0_1023;
typedef ASN1::Constrained_INTEGER<ASN1::FixedConstraint, 0, 65535u> INTEGER_0_65535;
typedef ASN1::Constrained_INTEGER<ASN1::FixedConstraint, 0, 65536u> INTEGER_0_65536;
typedef ASN1::Constrained_INTEGER<ASN1::FixedConstraint, 0, 4294967295u> INTEGER_0_4294967295;
typedef ASN1::Constrained_INTEGER<ASN1::FixedConstraint, -128, 127u> INTEGER_m128_127;
typedef ASN1::Constrained_INTEGER<ASN1::FixedConstraint, 112000, 399975u> INTEGER_112000_399975;
typedef ASN1::Constrained_INTEGER<ASN1::FixedConstraint, 5, 5u> INTEGER_5_5;
typedef ASN1::Constrained_INTEGER<ASN1::FixedConstraint, -2147483647 - 1, 2147483647u> INTEGER_full;
typedef ASN1::Constrained_INTEGER<ASN1::ExtendableConstraint, 0, 1023u> INTEGER_0_1023_ext;

class Ints : public ASN1::SEQUENCE {
 public:
  static const InfoType theInfo;
  static const ASN1::TypeInfo* const fieldInfos[];
  static const int fieldIds[];
  static const char* const fieldNames[];

  Ints() : ASN1::SEQUENCE(&theInfo) {}
  Ints(const Ints& other) : ASN1::SEQUENCE(other) {}
  ~Ints() override {}
  Ints& operator=(const Ints& other) {
    ASN1::SEQUENCE::operator=(other);
    return *this;
  }
  Ints* clone() const { return static_cast<Ints*>(ASN1::AbstractData::clone()); }

  const ASN1::INTEGER& get_u() const { return static_cast<const ASN1::INTEGER&>(*getField(0)); }
  ASN1::INTEGER& ref_u() { return static_cast<ASN1::INTEGER&>(*getField(0)); }
  ASN1::INTEGER& set_u() { return ref_u(); }
  void set_u(int v) { ref_u() = v; }
#define PERTEST_FIELD(name, index, Type)                                                   \
  const Type& get_##name() const { return static_cast<const Type&>(*getField(index)); } \
  Type& ref_##name() { return static_cast<Type&>(*getField(index)); }                   \
  Type& set_##name() { return ref_##name(); }                                           \
  void set_##name(unsigned v) { ref_##name() = v; }
  PERTEST_FIELD(full, 1, INTEGER_full)
  PERTEST_FIELD(b1, 2, INTEGER_0_1)
  PERTEST_FIELD(b7, 3, INTEGER_0_127)
  PERTEST_FIELD(b254, 4, INTEGER_0_254)
  PERTEST_FIELD(b255, 5, INTEGER_0_255)
  PERTEST_FIELD(k64, 6, INTEGER_0_65535)
  PERTEST_FIELD(k65536, 7, INTEGER_0_65536)
  PERTEST_FIELD(big, 8, INTEGER_0_4294967295)
  PERTEST_FIELD(neg, 9, INTEGER_m128_127)
  PERTEST_FIELD(off, 10, INTEGER_112000_399975)
  PERTEST_FIELD(ext, 11, INTEGER_0_1023_ext)
#undef PERTEST_FIELD
};

// ---------------------------------------------------------------- Strs
extern const ASN1::AbstractString::InfoType IA5String_1_300;
extern const ASN1::AbstractString::InfoType IA5String_1_64;
extern const ASN1::AbstractString::InfoType IA5String_2;
extern const ASN1::AbstractString::InfoType IA5String_1_20;
extern const ASN1::AbstractString::InfoType IA5String_0_40;
extern const ASN1::OCTET_STRING::InfoType OCTET_STRING_2;

class Strs : public ASN1::SEQUENCE {
 public:
  static const InfoType theInfo;
  static const ASN1::TypeInfo* const fieldInfos[];
  static const int fieldIds[];
  static const char* const fieldNames[];

  Strs() : ASN1::SEQUENCE(&theInfo) {}
  Strs(const Strs& other) : ASN1::SEQUENCE(other) {}
  ~Strs() override {}
  Strs& operator=(const Strs& other) {
    ASN1::SEQUENCE::operator=(other);
    return *this;
  }

  const ASN1::OCTET_STRING& get_o() const { return static_cast<const ASN1::OCTET_STRING&>(*getField(0)); }
  ASN1::OCTET_STRING& ref_o() { return static_cast<ASN1::OCTET_STRING&>(*getField(0)); }
  void set_o(const std::vector<char>& v) { ref_o() = v; }
  const ASN1::OCTET_STRING& get_o2() const { return static_cast<const ASN1::OCTET_STRING&>(*getField(1)); }
  ASN1::OCTET_STRING& ref_o2() { return static_cast<ASN1::OCTET_STRING&>(*getField(1)); }
  void set_o2(const std::vector<char>& v) { ref_o2() = v; }
  const ASN1::IA5String& get_ia5() const { return static_cast<const ASN1::IA5String&>(*getField(2)); }
  ASN1::IA5String& ref_ia5() { return static_cast<ASN1::IA5String&>(*getField(2)); }
  void set_ia5(const std::string& v) { ref_ia5() = v; }
  const ASN1::IA5String& get_ia5s() const { return static_cast<const ASN1::IA5String&>(*getField(3)); }
  ASN1::IA5String& ref_ia5s() { return static_cast<ASN1::IA5String&>(*getField(3)); }
  void set_ia5s(const std::string& v) { ref_ia5s() = v; }
  const ASN1::IA5String& get_ia5f() const { return static_cast<const ASN1::IA5String&>(*getField(4)); }
  ASN1::IA5String& ref_ia5f() { return static_cast<ASN1::IA5String&>(*getField(4)); }
  void set_ia5f(const std::string& v) { ref_ia5f() = v; }
  const ASN1::BOOLEAN& get_flag() const { return static_cast<const ASN1::BOOLEAN&>(*getField(5)); }
  ASN1::BOOLEAN& ref_flag() { return static_cast<ASN1::BOOLEAN&>(*getField(5)); }
  void set_flag(bool v) { ref_flag() = v; }
  const ASN1::Null& get_nul() const { return static_cast<const ASN1::Null&>(*getField(6)); }
  const ASN1::BIT_STRING& get_bits() const { return static_cast<const ASN1::BIT_STRING&>(*getField(7)); }
  ASN1::BIT_STRING& ref_bits() { return static_cast<ASN1::BIT_STRING&>(*getField(7)); }
  const ASN1::OBJECT_IDENTIFIER& get_oid() const {
    return static_cast<const ASN1::OBJECT_IDENTIFIER&>(*getField(8));
  }
  ASN1::OBJECT_IDENTIFIER& ref_oid() { return static_cast<ASN1::OBJECT_IDENTIFIER&>(*getField(8)); }
};

// ---------------------------------------------------------------- Cmd
// Cmd ::= CHOICE { ping NULL, echo OCTET STRING, connect INTEGER (0..1023),
//                  ints Ints, strs Strs, ..., later BOOLEAN }
class Cmd : public ASN1::CHOICE {
 public:
  static const InfoType theInfo;
  static const ASN1::TypeInfo* const selectionInfos[];
  static const char* const selectionNames[];

  // T::X::Id: the alternative's index as a tag type.
  struct ping { typedef std::integral_constant<int, 0> Id; };
  struct echo { typedef std::integral_constant<int, 1> Id; };
  struct connect { typedef std::integral_constant<int, 2> Id; };
  struct ints { typedef std::integral_constant<int, 3> Id; };
  struct strs { typedef std::integral_constant<int, 4> Id; };
  struct later { typedef std::integral_constant<int, 5> Id; };

  Cmd() : ASN1::CHOICE(&theInfo) {}
  Cmd(const Cmd& other) : ASN1::CHOICE(other) {}
  Cmd(ints::Id, const Ints& v) : ASN1::CHOICE(&theInfo, ints::Id::value, v.clone()) {}
  ~Cmd() override {}
  Cmd& operator=(const Cmd& other) {
    ASN1::CHOICE::operator=(other);
    return *this;
  }

  bool ping_isSelected() const { return currentSelection() == 0; }
  const ASN1::Null& get_ping() const { return static_cast<const ASN1::Null&>(*getSelection()); }
  ASN1::Null& select_ping() {
    return static_cast<ASN1::Null&>(*setSelection(0, ASN1::AbstractData::create(selectionInfos[0])));
  }
  bool echo_isSelected() const { return currentSelection() == 1; }
  const ASN1::OCTET_STRING& get_echo() const { return static_cast<const ASN1::OCTET_STRING&>(*getSelection()); }
  ASN1::OCTET_STRING& ref_echo() { return static_cast<ASN1::OCTET_STRING&>(*getSelection()); }
  ASN1::OCTET_STRING& select_echo() {
    return static_cast<ASN1::OCTET_STRING&>(*setSelection(1, ASN1::AbstractData::create(selectionInfos[1])));
  }
  void select_echo(const std::vector<char>& v) { select_echo() = v; }
  bool connect_isSelected() const { return currentSelection() == 2; }
  const INTEGER_0_1023& get_connect() const { return static_cast<const INTEGER_0_1023&>(*getSelection()); }
  INTEGER_0_1023& select_connect() {
    return static_cast<INTEGER_0_1023&>(*setSelection(2, ASN1::AbstractData::create(selectionInfos[2])));
  }
  void select_connect(unsigned v) { select_connect() = v; }
  bool ints_isSelected() const { return currentSelection() == 3; }
  const Ints& get_ints() const { return static_cast<const Ints&>(*getSelection()); }
  Ints& ref_ints() { return static_cast<Ints&>(*getSelection()); }
  Ints& select_ints() { return static_cast<Ints&>(*setSelection(3, ASN1::AbstractData::create(selectionInfos[3]))); }
  void select_ints(const Ints& v) { select_ints() = v; }
  bool strs_isSelected() const { return currentSelection() == 4; }
  const Strs& get_strs() const { return static_cast<const Strs&>(*getSelection()); }
  Strs& select_strs() { return static_cast<Strs&>(*setSelection(4, ASN1::AbstractData::create(selectionInfos[4]))); }
  bool later_isSelected() const { return currentSelection() == 5; }
  const ASN1::BOOLEAN& get_later() const { return static_cast<const ASN1::BOOLEAN&>(*getSelection()); }
  ASN1::BOOLEAN& select_later() {
    return static_cast<ASN1::BOOLEAN&>(*setSelection(5, ASN1::AbstractData::create(selectionInfos[5])));
  }
  void select_later(bool v) { select_later() = v; }
};

// Single ::= CHOICE { only INTEGER (0..7) }
class Single : public ASN1::CHOICE {
 public:
  static const InfoType theInfo;
  static const ASN1::TypeInfo* const selectionInfos[];
  static const char* const selectionNames[];

  Single() : ASN1::CHOICE(&theInfo) {}
  Single(const Single& other) : ASN1::CHOICE(other) {}
  ~Single() override {}
  Single& operator=(const Single& other) {
    ASN1::CHOICE::operator=(other);
    return *this;
  }
  bool only_isSelected() const { return currentSelection() == 0; }
  const INTEGER_0_7& get_only() const { return static_cast<const INTEGER_0_7&>(*getSelection()); }
  INTEGER_0_7& select_only() {
    return static_cast<INTEGER_0_7&>(*setSelection(0, ASN1::AbstractData::create(selectionInfos[0])));
  }
  void select_only(unsigned v) { select_only() = v; }
};

// Plain ::= CHOICE { a BOOLEAN, b IA5String (SIZE (1..20)), c Colour }
class Plain : public ASN1::CHOICE {
 public:
  static const InfoType theInfo;
  static const ASN1::TypeInfo* const selectionInfos[];
  static const char* const selectionNames[];

  Plain() : ASN1::CHOICE(&theInfo) {}
  Plain(const Plain& other) : ASN1::CHOICE(other) {}
  ~Plain() override {}
  Plain& operator=(const Plain& other) {
    ASN1::CHOICE::operator=(other);
    return *this;
  }
  bool a_isSelected() const { return currentSelection() == 0; }
  void select_a(bool v) {
    static_cast<ASN1::BOOLEAN&>(*setSelection(0, ASN1::AbstractData::create(selectionInfos[0]))) = v;
  }
  bool b_isSelected() const { return currentSelection() == 1; }
  const ASN1::IA5String& get_b() const { return static_cast<const ASN1::IA5String&>(*getSelection()); }
  void select_b(const std::string& v) {
    static_cast<ASN1::IA5String&>(*setSelection(1, ASN1::AbstractData::create(selectionInfos[1]))) = v;
  }
  bool c_isSelected() const { return currentSelection() == 2; }
  const Colour& get_c() const { return static_cast<const Colour&>(*getSelection()); }
  void select_c(Colour::NamedNumber v) {
    static_cast<Colour&>(*setSelection(2, ASN1::AbstractData::create(selectionInfos[2]))) = v;
  }
};

// ---------------------------------------------------------------- Item
// Item ::= SEQUENCE { id INTEGER (0..255), label IA5String (SIZE (1..64))
//                     OPTIONAL, shade Shade, ... }
class Item : public ASN1::SEQUENCE {
 public:
  static const InfoType theInfo;
  static const ASN1::TypeInfo* const fieldInfos[];
  static const int fieldIds[];
  static const char* const fieldNames[];

  Item() : ASN1::SEQUENCE(&theInfo) {}
  Item(const Item& other) : ASN1::SEQUENCE(other) {}
  ~Item() override {}
  Item& operator=(const Item& other) {
    ASN1::SEQUENCE::operator=(other);
    return *this;
  }
  Item* clone() const { return static_cast<Item*>(ASN1::AbstractData::clone()); }

  const INTEGER_0_255& get_id() const { return static_cast<const INTEGER_0_255&>(*getField(0)); }
  void set_id(unsigned v) { static_cast<INTEGER_0_255&>(*getField(0)) = v; }
  bool label_isPresent() const { return hasOptionalField(0); }
  const ASN1::IA5String& get_label() const { return static_cast<const ASN1::IA5String&>(*getField(1)); }
  void set_label(const std::string& v) { static_cast<ASN1::IA5String&>(*includeOptionalField(0, 1)) = v; }
  void omit_label() { removeOptionalField(0); }
  const Shade& get_shade() const { return static_cast<const Shade&>(*getField(2)); }
  void set_shade(Shade::NamedNumber v) { static_cast<Shade&>(*getField(2)) = v; }
};

// ---------------------------------------------------------------- Msg
// Msg ::= SEQUENCE { seq INTEGER (0..65535) OPTIONAL, slot INTEGER (0..1023)
//   OPTIONAL, pdu Cmd, colour Colour, items SEQUENCE OF Item, single Single
//   OPTIONAL, plain Plain OPTIONAL, ..., trace INTEGER (0..7) OPTIONAL,
//   note-text IA5String (SIZE (0..40)) OPTIONAL }
// Presence numbers: seq 0, slot 1, single 2, plain 3; the additions carry
// numOptional + k: trace 4, note-text 5.
typedef ASN1::SEQUENCE_OF<Item, ASN1::EmptyConstraint> ItemList;

class Msg : public ASN1::SEQUENCE {
 public:
  static const InfoType theInfo;
  static const ASN1::TypeInfo* const fieldInfos[];
  static const int fieldIds[];
  static const char* const fieldNames[];

  Msg() : ASN1::SEQUENCE(&theInfo) {}
  Msg(const Msg& other) : ASN1::SEQUENCE(other) {}
  ~Msg() override {}
  Msg& operator=(const Msg& other) {
    ASN1::SEQUENCE::operator=(other);
    return *this;
  }
  Msg* clone() const { return static_cast<Msg*>(ASN1::AbstractData::clone()); }

  bool seq_isPresent() const { return hasOptionalField(0); }
  const INTEGER_0_65535& get_seq() const { return static_cast<const INTEGER_0_65535&>(*getField(0)); }
  void set_seq(unsigned v) { static_cast<INTEGER_0_65535&>(*includeOptionalField(0, 0)) = v; }
  void omit_seq() { removeOptionalField(0); }
  bool slot_isPresent() const { return hasOptionalField(1); }
  const INTEGER_0_1023& get_slot() const { return static_cast<const INTEGER_0_1023&>(*getField(1)); }
  void set_slot(unsigned v) { static_cast<INTEGER_0_1023&>(*includeOptionalField(1, 1)) = v; }
  void omit_slot() { removeOptionalField(1); }
  const Cmd& get_pdu() const { return static_cast<const Cmd&>(*getField(2)); }
  Cmd& ref_pdu() { return static_cast<Cmd&>(*getField(2)); }
  Cmd& set_pdu() { return ref_pdu(); }
  void set_pdu(const Cmd& v) { ref_pdu() = v; }
  const Colour& get_colour() const { return static_cast<const Colour&>(*getField(3)); }
  void set_colour(Colour::NamedNumber v) { static_cast<Colour&>(*getField(3)) = v; }
  const ItemList& get_items() const { return static_cast<const ItemList&>(*getField(4)); }
  ItemList& ref_items() { return static_cast<ItemList&>(*getField(4)); }
  bool single_isPresent() const { return hasOptionalField(2); }
  const Single& get_single() const { return static_cast<const Single&>(*getField(5)); }
  Single& set_single() { return static_cast<Single&>(*includeOptionalField(2, 5)); }
  void omit_single() { removeOptionalField(2); }
  bool plain_isPresent() const { return hasOptionalField(3); }
  const Plain& get_plain() const { return static_cast<const Plain&>(*getField(6)); }
  Plain& set_plain() { return static_cast<Plain&>(*includeOptionalField(3, 6)); }
  void omit_plain() { removeOptionalField(3); }
  bool trace_isPresent() const { return hasOptionalField(4); }
  const INTEGER_0_7& get_trace() const { return static_cast<const INTEGER_0_7&>(*getField(7)); }
  void set_trace(unsigned v) { static_cast<INTEGER_0_7&>(*includeOptionalField(4, 7)) = v; }
  void omit_trace() { removeOptionalField(4); }
  bool note_text_isPresent() const { return hasOptionalField(5); }
  const ASN1::IA5String& get_note_text() const { return static_cast<const ASN1::IA5String&>(*getField(8)); }
  void set_note_text(const std::string& v) { static_cast<ASN1::IA5String&>(*includeOptionalField(5, 8)) = v; }
  void omit_note_text() { removeOptionalField(5); }
};

// MsgV1: Msg as a peer that knows none of its extension additions.
class MsgV1 : public ASN1::SEQUENCE {
 public:
  static const InfoType theInfo;
  static const ASN1::TypeInfo* const fieldInfos[];
  static const char* const fieldNames[];

  MsgV1() : ASN1::SEQUENCE(&theInfo) {}
  MsgV1(const MsgV1& other) : ASN1::SEQUENCE(other) {}
  ~MsgV1() override {}
  const INTEGER_0_65535& get_seq() const { return static_cast<const INTEGER_0_65535&>(*getField(0)); }
  const Cmd& get_pdu() const { return static_cast<const Cmd&>(*getField(2)); }
  const ItemList& get_items() const { return static_cast<const ItemList&>(*getField(4)); }
};

}  // namespace PerTest

#endif
