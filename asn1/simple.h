// NULL, BOOLEAN and ENUMERATED.
#ifndef ASN1_SIMPLE_H
#define ASN1_SIMPLE_H

#include <string>

#include "asn1/abstract_data.h"

namespace ASN1 {

class Null : public AbstractData, public detail::Allocator<Null> {
 public:
  static const InfoType theInfo;

  explicit Null(const InfoType* info = &theInfo) : AbstractData(info) {}
  Null(const Null&) = default;
  Null& operator=(const Null&) { return *this; }

  static AbstractData* create(const TypeInfo* info);

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;
};

class BOOLEAN : public AbstractData, public detail::Allocator<BOOLEAN> {
 public:
  static const InfoType theInfo;

  explicit BOOLEAN(const InfoType* info = &theInfo) : AbstractData(info), value_(0) {}
  BOOLEAN(bool value, const InfoType* info) : AbstractData(info), value_(value ? 1 : 0) {}
  BOOLEAN(const BOOLEAN&) = default;
  BOOLEAN& operator=(const BOOLEAN& other) {
    value_ = other.value_;
    return *this;
  }

  static AbstractData* create(const TypeInfo* info);

  BOOLEAN& operator=(bool value) {
    value_ = value ? 1 : 0;
    return *this;
  }
  operator bool() const { return value_ != 0; }

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;

 private:
  unsigned char value_;
};

// An enumeration holds the enumerator's number (not its position). The
// descriptor's table holds one entry per enumerator in declaration order:
// "name" or "name=number"; an entry without a number counts on by one from
// the one before (the first from 0).
class ENUMERATED : public AbstractData, public detail::Allocator<ENUMERATED> {
 public:
  struct InfoType : TypeInfo {
    bool extendable;
    int maxEnumValue;  // greatest number of the table
    const char* const* enumNames;
    unsigned numEnumNames;  // entries of enumNames
  };

  explicit ENUMERATED(const InfoType* info) : AbstractData(info), value_(0) {}
  ENUMERATED(const ENUMERATED&) = default;
  // Copies the number only (the descriptor stays).
  ENUMERATED& operator=(const ENUMERATED& other) {
    value_ = other.value_;
    return *this;
  }

  static AbstractData* create(const TypeInfo* info);

  const InfoType* info() const { return static_cast<const InfoType*>(AbstractData::info()); }
  int asInt() const { return value_; }
  void setFromInt(int value) { value_ = value; }
  int getMaximum() const { return info()->maxEnumValue; }
  // The smallest number of the table (0 for an empty table).
  int getMinimum() const;
  bool extendable() const { return info()->extendable; }
  // The identifier of the (first) enumerator with the stored number, or null.
  // The pointer stays valid for the program's life.
  const char* getName() const;
  // Stores the number of the enumerator named so; else maxEnumValue + 1 and
  // false.
  bool setFromName(const std::string& name);
  // The checks of constraint_checker.h for this value with its contents.
  bool isValid() const { return AbstractData::isValid(); }
  bool isStrictlyValid() const { return AbstractData::isStrictlyValid(); }

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;

 private:
  int value_;
};

}  // namespace ASN1

#endif
