// Type descriptors: the constant records that tell a value its ASN.1 type.
//
// Every ASN.1 type has exactly one descriptor (`T::theInfo`), a constant
// aggregate whose first two members are the create function and the tag word.
// Each kind extends that head with its own members (see the `InfoType` of each
// value class). Descriptors are plain aggregates initialised from constant
// expressions only (function addresses, addresses of other descriptors and
// arrays, literals), so they are constant-initialised: no module depends on
// another module's static constructors having run, whatever the link order.
#ifndef ASN1_DESCRIPTOR_H
#define ASN1_DESCRIPTOR_H

#include <type_traits>

namespace ASN1 {

class AbstractData;
struct TypeInfo;

// Makes a new heap value of the descriptor's type in its default state; the
// caller owns it. The create function also fixes the C++ class of the value:
// it always builds an object of the exact class that the descriptor belongs to
// (so a field of a generated record type really is an object of that class).
typedef AbstractData* (*CreateFun)(const TypeInfo* info);

enum ConstraintType {
  Unconstrained = 0,         // no bounds; 0 and 4294967295 in the descriptor
  PartiallyConstrained = 1,  // lower bound only
  FixedConstraint = 2,       // lower and upper bound
  ExtendableConstraint = 3   // bounds with an extension marker
};

// The common head of every descriptor.
struct TypeInfo {
  CreateFun create;
  // BER identifier class bits (0x00, 0x40, 0x80, 0xC0) << 16 | tag number.
  // 0: untagged (CHOICE and open types).
  unsigned tag;
};

// Tag word of context-specific tag n.
constexpr unsigned contextTag(unsigned n) { return 0x800000u | n; }

// The create function of a class T: a new T bound to the given descriptor
// when T has a constructor from its descriptor, otherwise a default T (the
// generated message classes, whose one descriptor their default constructor
// passes on). Generated descriptors use &ASN1::create_as<T>.
template <class T>
AbstractData* create_as(const TypeInfo* info) {
  if constexpr (std::is_constructible<T, const typename T::InfoType*>::value) {
    return new T(static_cast<const typename T::InfoType*>(info));
  } else {
    (void)info;
    return new T();
  }
}

}  // namespace ASN1

#endif
