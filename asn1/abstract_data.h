// The root of every ASN.1 value and the constraint base of the sized kinds.
//
// A value holds its content and one pointer to its type's constant descriptor
// (descriptor.h); the descriptor is never owned and never changes for the
// value's life. Values own their sub-values: copying clones them, destruction
// deletes them. Copies always have the dynamic class of the original (cloning
// goes through the descriptor's create function), so a generated class's
// typed accessors may cast a component to its class.
#ifndef ASN1_ABSTRACT_DATA_H
#define ASN1_ABSTRACT_DATA_H

#include <ios>
#include <iosfwd>
#include <string>

#include "asn1/descriptor.h"
#include "asn1/value_pool.h"

namespace ASN1 {

class Visitor;
class ConstVisitor;

class AbstractData {
 public:
  typedef TypeInfo InfoType;

  virtual ~AbstractData() {}

  // Null for a null descriptor, else a new default value of its type (owned
  // by the caller).
  static AbstractData* create(const TypeInfo* info) {
    if (info == nullptr || info->create == nullptr) return nullptr;
    return info->create(info);
  }

  // A deep copy of the same dynamic class and descriptor, owned by the caller.
  AbstractData* clone() const { return do_clone(); }
  // REQUIRES: other is of the same class. Negative, zero or positive.
  int compare(const AbstractData& other) const { return do_compare(other); }
  bool operator==(const AbstractData& other) const { return compare(other) == 0; }
  bool operator!=(const AbstractData& other) const { return compare(other) != 0; }

  bool accept(Visitor& v) { return do_accept(v); }
  bool accept(ConstVisitor& v) const { return do_accept(v); }

  const TypeInfo* info() const { return info_; }
  unsigned getTag() const { return info_->tag; }

  // The value in ASN.1 value notation, also when the writer fails part way
  // (then the text up to the failure).
  std::string asValueNotation() const;
  // Writes the value notation to the stream; returns goodbit, or failbit when
  // the value cannot be written. Leaves the stream's state alone.
  std::ios_base::iostate print_on(std::ostream& os) const;
  // Reads the value from value notation (avn_decoder.cpp): goodbit, or
  // failbit with the value partly filled.
  std::ios_base::iostate get_from(std::istream& is);
  bool setFromValueNotation(const std::string& text);

  // Whether the value with everything in it keeps its type's constraints:
  // leniently (beyond an extensible root passes) or strictly
  // (constraint_checker.h).
  bool isValid() const;
  bool isStrictlyValid() const;

 protected:
  explicit AbstractData(const TypeInfo* info) : info_(info) {}
  AbstractData(const AbstractData& other) = default;
  // The descriptor stays: assignment copies content only.
  AbstractData& operator=(const AbstractData&) { return *this; }

  virtual int do_compare(const AbstractData& other) const = 0;
  virtual AbstractData* do_clone() const = 0;
  virtual bool do_accept(Visitor& v) = 0;
  virtual bool do_accept(ConstVisitor& v) const = 0;

  // A new default value of this value's own type (its dynamic class); the
  // kinds' do_clone assign their content into it.
  AbstractData* createSame() const { return info_->create(info_); }
  // The kinds' do_clone: createSame(), then this value's content assigned
  // as the kind T (the caller's own class or a base of it).
  template <class T>
  AbstractData* cloneAs() const {
    AbstractData* copy = createSame();
    static_cast<T&>(*copy) = static_cast<const T&>(*this);
    return copy;
  }

 private:
  const TypeInfo* info_;
};

namespace detail {
// Mix-in of every concrete value class: holds nothing, and gives the class
// (and every class derived from it) the pooled operator new and delete of
// value_pool.h. Values are deleted through the virtual destructor, so the
// size handed to operator delete is always the one allocated.
template <class T>
class Allocator {
 public:
  static void* operator new(std::size_t size) { return poolAllocate(size); }
  static void operator delete(void* p, std::size_t size) noexcept { poolDeallocate(p, size); }
  // Placement new stays usable (a class-level operator new hides it).
  static void* operator new(std::size_t, void* where) noexcept { return where; }
  static void operator delete(void*, void*) noexcept {}

 protected:
  Allocator() {}
};
}  // namespace detail

// Base of the kinds whose descriptor carries a constraint (INTEGER, sized
// strings, lists).
class ConstrainedObject : public AbstractData {
 public:
  struct InfoType : TypeInfo {
    unsigned constraintType;  // ConstraintType
    int lowerLimit;           // a value for INTEGER, a size otherwise
    unsigned upperLimit;
  };

  const InfoType* info() const { return static_cast<const InfoType*>(AbstractData::info()); }
  ConstraintType getConstraintType() const { return ConstraintType(info()->constraintType); }
  int getLowerLimit() const { return info()->lowerLimit; }
  unsigned getUpperLimit() const { return info()->upperLimit; }
  bool extendable() const { return getConstraintType() == ExtendableConstraint; }
  bool constrained() const { return getConstraintType() != Unconstrained; }

 protected:
  explicit ConstrainedObject(const InfoType* info) : AbstractData(info) {}
  ConstrainedObject(const ConstrainedObject&) = default;
  ConstrainedObject& operator=(const ConstrainedObject&) = default;
};

// Unsigned byte comparison of two ranges: the difference of the first
// differing bytes; else -1, 0 or 1 by which range ends first.
int lexicographic_compare_bytes(const char* first1, const char* last1, const char* first2,
                                const char* last2);

// Writes the value in value notation (avn_encoder.cpp). Writes nothing when
// the stream is not good; a value that cannot be written sets failbit.
std::ostream& operator<<(std::ostream& os, const AbstractData& value);

}  // namespace ASN1

#endif
