#include "asn1/constraint_checker.h"

#include <ostream>

#include "asn1/asn1.h"

namespace ASN1 {

namespace {

// Sizes are compared unsigned; the lower limit of a sized kind is a size.
bool sizeValid(unsigned size, const ConstrainedObject& v, bool strict, bool upperUnlessExtendable) {
  if (size < unsigned(v.getLowerLimit())) return false;
  const bool checkUpper =
      strict || (upperUnlessExtendable ? !v.extendable() : v.getConstraintType() == FixedConstraint);
  return !checkUpper || size <= v.getUpperLimit();
}

bool integerValid(const INTEGER& v, bool strict) {
  return v.isStrictValid() || (!strict && v.extendable());
}

bool enumeratedInRoot(const ENUMERATED& v) { return v.asInt() >= v.getMinimum() && v.asInt() <= v.getMaximum(); }

bool enumeratedValid(const ENUMERATED& v, bool strict) { return (!strict && v.extendable()) || enumeratedInRoot(v); }

bool timeValid(const GeneralizedTime& t) {
  return t.getYear() > 0 && t.getMonth() >= 1 && t.getMonth() <= 12 && t.getDay() >= 1 &&
         t.getDay() <= 31 && t.getHour() >= 0 && t.getHour() <= 24 && t.getMinute() >= 0 &&
         t.getMinute() <= 59 && t.getSecond() >= 0 && t.getSecond() <= 59 && t.getMinDiff() >= -720 &&
         t.getMinDiff() <= 720;
}

bool choiceIndexValid(const CHOICE& v, bool strict) {
  const int index = v.currentSelection();
  return index >= 0 && v.getSelection() != nullptr &&
         (unsigned(index) < v.getNumChoices() || (!strict && v.extendable()));
}

bool check(const AbstractData& value, bool strict) {
  return strict ? value.isStrictlyValid() : value.isValid();
}

}  // namespace

bool AbstractData::isValid() const {
  ValidChecker checker;
  return accept(checker);
}

bool AbstractData::isStrictlyValid() const {
  StrictlyValidChecker checker;
  return accept(checker);
}

// ---------------------------------------------------------------- checks

bool ConstraintChecker::do_visit(const INTEGER& v) { return integerValid(v, strict_); }
bool ConstraintChecker::do_visit(const ENUMERATED& v) { return enumeratedValid(v, strict_); }
bool ConstraintChecker::do_visit(const OBJECT_IDENTIFIER& v) { return v.levels() > 0; }

bool ConstraintChecker::do_visit(const BIT_STRING& v) { return sizeValid(v.size(), v, strict_, false); }

bool ConstraintChecker::do_visit(const OCTET_STRING& v) {
  return sizeValid(unsigned(v.size()), v, strict_, false);
}

bool ConstraintChecker::do_visit(const AbstractString& v) {
  return sizeValid(unsigned(v.size()), v, strict_, true) && v.find_first_invalid() == std::string::npos;
}

bool ConstraintChecker::do_visit(const BMPString& v) {
  return sizeValid(unsigned(v.size()), v, strict_, true) && v.first_illegal_at() == v.size();
}

bool ConstraintChecker::do_visit(const CHOICE& v) {
  return choiceIndexValid(v, strict_) && check(*v.getSelection(), strict_);
}

bool ConstraintChecker::do_visit(const OpenData& v) {
  if (v.has_data()) return check(v.get_data(), strict_);
  return v.has_buf();
}

bool ConstraintChecker::do_visit(const GeneralizedTime& v) { return timeValid(v); }

bool ConstraintChecker::do_visit(const SEQUENCE_OF_Base& v) {
  if (!sizeValid(v.size(), v, strict_, true)) return false;
  for (const AbstractData* element : v)
    if (!check(*element, strict_)) return false;
  return true;
}

bool ConstraintChecker::visitExtensionRoot(const SEQUENCE& v, int index) {
  const AbstractData* field = v.getField(unsigned(index));
  return field != nullptr && check(*field, strict_);
}

bool ConstraintChecker::visitKnownExtension(const SEQUENCE& v, int index) {
  return visitExtensionRoot(v, index);
}

bool PrimitiveChecker::do_visit(const CHOICE& v) {
  return v.getSelection() == nullptr || v.getSelection()->accept(*this);
}

bool PrimitiveChecker::do_visit(const OpenData& v) { return !v.has_data() || v.get_data().accept(*this); }

// ---------------------------------------------------------------- tracer

bool InvalidTracer::do_visit(const INTEGER& v) {
  if (v.isStrictValid()) return true;
  const int value = v.getValue();
  const int lb = v.getLowerLimit();
  // Below the root is traced also where the type is extensible (the PER
  // coder writes such a number signed, as an extension); above it only
  // where it is not. A negative lower bound makes the range signed, upper
  // bound included: compared unsigned, every negative value would read as
  // too great. With a non-negative one, a negative number of an extensible
  // type is below the root, and is shown signed as the coder writes it; of
  // a fixed one it is the unsigned number above (as the value-notation
  // writer shows it), since the coder refuses it as that.
  const bool below = lb < 0 || v.extendable() ? value < lb : unsigned(value) < unsigned(lb);
  if (below) {
    strm_ << " The INTEGER value " << value << " is smaller than lower bound " << lb;
    return false;
  }
  if (v.extendable()) return true;
  strm_ << " The INTEGER value ";
  if (lb < 0)
    strm_ << value << " is greater than upper bound " << int(v.getUpperLimit());
  else
    strm_ << unsigned(value) << " is greater than upper bound " << v.getUpperLimit();
  return false;
}

bool InvalidTracer::do_visit(const ENUMERATED& v) {
  // Above the greatest enumerator is traced also where the type is
  // extensible; below the least only where the lenient check fails.
  if (v.asInt() <= v.getMaximum() && enumeratedValid(v, false)) return true;
  strm_ << " This ENUMERATED has invalid value " << v.asInt();
  return false;
}

bool InvalidTracer::do_visit(const OBJECT_IDENTIFIER& v) {
  if (v.levels() > 0) return true;
  strm_ << " This OBJECT IDENTIFIER is not assigned";
  return false;
}

// The upper bound is traced only where the type is fixed: an unconstrained
// or extensible type's descriptor may hold bounds that its values may pass.
bool InvalidTracer::sizeInBounds(const char* kind, unsigned size, const ConstrainedObject& v) {
  if (size < unsigned(v.getLowerLimit())) {
    strm_ << " This " << kind << " has size " << size << " smaller than its lower bound "
          << v.getLowerLimit();
    return false;
  }
  if (v.getConstraintType() == FixedConstraint && size > v.getUpperLimit()) {
    strm_ << " This " << kind << " has size " << size << " greater than its upper bound "
          << v.getUpperLimit();
    return false;
  }
  return true;
}

bool InvalidTracer::do_visit(const BIT_STRING& v) { return sizeInBounds("BIT STRING", v.size(), v); }

bool InvalidTracer::do_visit(const OCTET_STRING& v) {
  return sizeInBounds("OCTET STRING", unsigned(v.size()), v);
}

bool InvalidTracer::do_visit(const AbstractString& v) {
  if (!sizeInBounds("AbstractString", unsigned(v.size()), v)) return false;
  const std::string::size_type bad = v.find_first_invalid();
  if (bad == std::string::npos) return true;
  strm_ << " The character '" << v[bad] << "' is not valid for the string";
  return false;
}

bool InvalidTracer::do_visit(const BMPString& v) {
  if (!sizeInBounds("BMPString", unsigned(v.size()), v)) return false;
  const std::wstring::size_type bad = v.first_illegal_at();
  if (bad == v.size()) return true;
  strm_ << " The character '" << unsigned(v[bad]) << "' is not valid for the string";
  return false;
}

bool InvalidTracer::do_visit(const CHOICE& v) {
  if (v.currentSelection() == CHOICE::unselected_) {
    strm_ << " This CHOICE is not selected";
    return false;
  }
  if (!choiceIndexValid(v, false)) {
    strm_ << " This selection is not understood by this decoder";
    return false;
  }
  strm_ << '.' << v.getSelectionName();
  if (v.getSelection()->accept(*this)) {
    strm_.str(std::string());
    return true;
  }
  return false;
}

bool InvalidTracer::do_visit(const OpenData& v) {
  if (v.has_data()) return v.get_data().accept(*this);
  if (v.has_buf()) return true;
  strm_ << " This Open Type does not contain any valid data";
  return false;
}

bool InvalidTracer::do_visit(const GeneralizedTime& v) {
  if (timeValid(v)) return true;
  strm_ << " This GeneralizedTime is not valid";
  return false;
}

bool InvalidTracer::do_visit(const SEQUENCE_OF_Base& v) {
  if (!sizeInBounds("SEQUENCE OF", v.size(), v)) return false;
  unsigned i = 0;
  for (const AbstractData* element : v) {
    InvalidTracer inner;
    if (!element->accept(inner)) {
      strm_ << '[' << i << ']' << inner;
      return false;
    }
    ++i;
  }
  return true;
}

bool InvalidTracer::visitExtensionRoot(const SEQUENCE& v, int index) {
  const AbstractData* field = v.getField(unsigned(index));
  if (field == nullptr) return true;
  InvalidTracer inner;
  if (field->accept(inner)) return true;
  strm_ << '.' << v.getFieldName(unsigned(index)) << inner;
  return false;
}

bool InvalidTracer::visitKnownExtension(const SEQUENCE& v, int index) { return visitExtensionRoot(v, index); }

std::ostream& operator<<(std::ostream& os, const InvalidTracer& tracer) { return os << tracer.text(); }

bool trace_invalid(std::ostream& os, const char* prefix, const AbstractData& value) {
  InvalidTracer tracer;
  if (value.accept(tracer)) return true;
  os << prefix << tracer << std::endl;
  return false;
}

}  // namespace ASN1
