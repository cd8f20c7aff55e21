// The table of every generated message class, written by the message
// generator from the schema (one entry per SEQUENCE, CHOICE and ENUMERATED
// type), for the tests that walk every type.
#ifndef TESTS_MESSAGES_TYPE_TABLE_H
#define TESTS_MESSAGES_TYPE_TABLE_H

#include "asn1/asn1.h"

namespace messages_test {

enum TypeKind { kSequence, kChoice, kEnumerated };

struct TypeEntry {
  const char* name;        // "LGCP::Message": module and schema name
  const char* oracleName;  // its name in the standard ASN.1 copy
  const ASN1::TypeInfo* info;
  TypeKind kind;
  // Whether the default value encodes in aligned PER: every mandatory field
  // encodes, a choice has a selection, zero lies in every mandatory range.
  bool defaultEncodes;
  // Whether a message on the wire (LGCP::Message, MON::Message) can hold it.
  bool carried;
  // A new default value through the generated class's default constructor.
  ASN1::AbstractData* (*makeTyped)();
  // A new copy through the class's copy constructor and copy assignment.
  ASN1::AbstractData* (*copyTyped)(const ASN1::AbstractData& value);
};

extern const TypeEntry kTypes[];
extern const unsigned kTypeCount;

}  // namespace messages_test

#endif
