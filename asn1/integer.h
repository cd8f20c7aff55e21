// INTEGER and its typed views.
//
// One class holds every integer value (signed 32 bits); the range comes from
// the descriptor. Setters never check the range: a value outside it fails
// when it is encoded.
#ifndef ASN1_INTEGER_H
#define ASN1_INTEGER_H

#include <string>

#include "asn1/abstract_data.h"

namespace ASN1 {

class INTEGER : public ConstrainedObject, public detail::Allocator<INTEGER> {
 public:
  typedef ConstrainedObject::InfoType InfoType;
  static const InfoType theInfo;  // Unconstrained

  explicit INTEGER(const InfoType* info = &theInfo) : ConstrainedObject(info), value_(0) {}
  INTEGER(int value, const InfoType* info) : ConstrainedObject(info), value_(value) {}
  INTEGER(const INTEGER&) = default;
  INTEGER& operator=(const INTEGER& other) {
    value_ = other.value_;
    return *this;
  }

  static AbstractData* create(const TypeInfo* info);

  INTEGER& operator=(int value) {
    value_ = value;
    return *this;
  }
  void setValue(int value) { value_ = value; }
  int getValue() const { return value_; }
  bool operator==(const INTEGER& other) const { return value_ == other.value_; }
  bool operator!=(const INTEGER& other) const { return value_ != other.value_; }

  // lowerLimit <= value <= upperLimit. The distance from the lower bound is
  // compared modulo 2^32, so negative lower bounds work: INTEGER (-128..127)
  // accepts -128..127 and nothing else.
  bool isStrictValid() const;
  // The lenient check of constraint_checker.h (the strict one of this kind
  // alone is isStrictValid).
  bool isValid() const { return AbstractData::isValid(); }

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;

 private:
  int value_;
};

// A constrained integer type: an INTEGER bound to the template's own
// descriptor, presented with unsigned accessors.
template <ConstraintType CT, int LB, unsigned UB>
class Constrained_INTEGER : public INTEGER {
 public:
  static constexpr InfoType theInfo = {{&create_as<Constrained_INTEGER>, 2}, CT, LB, UB};

  Constrained_INTEGER() : INTEGER(&theInfo) {}
  explicit Constrained_INTEGER(unsigned value) : INTEGER(int(value), &theInfo) {}
  Constrained_INTEGER(const Constrained_INTEGER&) = default;
  Constrained_INTEGER& operator=(const Constrained_INTEGER&) = default;

  Constrained_INTEGER& operator=(unsigned value) {
    setValue(int(value));
    return *this;
  }
  unsigned getValue() const { return unsigned(INTEGER::getValue()); }
  Constrained_INTEGER* clone() const { return static_cast<Constrained_INTEGER*>(AbstractData::clone()); }
};

unsigned operator+(unsigned n, const Constrained_INTEGER<FixedConstraint, 0, 127u>& v);

// An INTEGER with named numbers (no message type uses it).
class IntegerWithNamedNumber : public INTEGER {
 public:
  struct NameEntry {
    int value;
    const char* name;
  };
  struct InfoType : INTEGER::InfoType {
    const NameEntry* nameEntries;  // ascending by value
    unsigned nameEntryCount;
  };

  explicit IntegerWithNamedNumber(const InfoType* info) : INTEGER(info) {}
  IntegerWithNamedNumber(const IntegerWithNamedNumber&) = default;
  IntegerWithNamedNumber& operator=(const IntegerWithNamedNumber&) = default;

  static AbstractData* create(const TypeInfo* info);

  const InfoType* info() const { return static_cast<const InfoType*>(AbstractData::info()); }
  bool getName(std::string& out) const;
  bool setFromName(const std::string& name);

 protected:
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;
};

}  // namespace ASN1

#endif
