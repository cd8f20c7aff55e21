#include "asn1/integer.h"

#include <algorithm>
#include <cstring>

#include "asn1/visitor.h"

namespace ASN1 {

const INTEGER::InfoType INTEGER::theInfo = {{&INTEGER::create, 2}, Unconstrained, 0, 0xFFFFFFFFu};

AbstractData* INTEGER::create(const TypeInfo* info) {
  return new INTEGER(static_cast<const InfoType*>(info));
}

bool INTEGER::isStrictValid() const {
  // Modulo 2^32: the distance from the lower bound within the range's width.
  const unsigned lb = unsigned(getLowerLimit());
  return unsigned(value_) - lb <= getUpperLimit() - lb;
}

int INTEGER::do_compare(const AbstractData& other) const {
  const int theirs = static_cast<const INTEGER&>(other).value_;
  // The difference in 32-bit arithmetic, wrapping as the board's int does.
  return int(unsigned(value_) - unsigned(theirs));
}

AbstractData* INTEGER::do_clone() const { return cloneAs<INTEGER>(); }

bool INTEGER::do_accept(Visitor& v) { return v.visit(*this); }
bool INTEGER::do_accept(ConstVisitor& v) const { return v.visit(*this); }

unsigned operator+(unsigned n, const Constrained_INTEGER<FixedConstraint, 0, 127u>& v) {
  return n + v.getValue();
}

AbstractData* IntegerWithNamedNumber::create(const TypeInfo* info) {
  return new IntegerWithNamedNumber(static_cast<const InfoType*>(info));
}

bool IntegerWithNamedNumber::getName(std::string& out) const {
  const NameEntry* first = info()->nameEntries;
  const NameEntry* last = first + info()->nameEntryCount;
  const int v = getValue();
  const NameEntry* pos =
      std::lower_bound(first, last, v, [](const NameEntry& e, int value) { return e.value < value; });
  if (pos == last || pos->value != v) return false;
  out = pos->name;
  return true;
}

bool IntegerWithNamedNumber::setFromName(const std::string& name) {
  for (unsigned i = 0; i < info()->nameEntryCount; ++i) {
    if (name == info()->nameEntries[i].name) {
      setValue(info()->nameEntries[i].value);
      return true;
    }
  }
  return false;
}

AbstractData* IntegerWithNamedNumber::do_clone() const { return cloneAs<INTEGER>(); }

bool IntegerWithNamedNumber::do_accept(Visitor& v) { return v.visit(*this); }
bool IntegerWithNamedNumber::do_accept(ConstVisitor& v) const { return v.visit(*this); }

}  // namespace ASN1
