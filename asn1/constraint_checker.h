// Constraint checks over a whole value, the tracer that names the first bad
// component, and the primitive-kind test of the BER encoder.
//
// Setters never check constraints, and decoded numbers may lie above their
// bounds, so these answer whether a value with everything inside it keeps
// its type's constraints: leniently (AbstractData::isValid: values beyond the
// root of an extensible constraint pass) or strictly (isStrictlyValid). A
// SEQUENCE is checked field by field (present fields only); its presence
// maps are not checked.
#ifndef ASN1_CONSTRAINT_CHECKER_H
#define ASN1_CONSTRAINT_CHECKER_H

#include <iosfwd>
#include <sstream>
#include <string>

#include "asn1/abstract_data.h"
#include "asn1/visitor.h"

namespace ASN1 {

// The lenient (strict = false) or strict check of one value.
class ConstraintChecker : public ConstVisitor {
 protected:
  explicit ConstraintChecker(bool strict) : strict_(strict) {}

  bool do_visit(const INTEGER& v) override;
  bool do_visit(const ENUMERATED& v) override;
  bool do_visit(const OBJECT_IDENTIFIER& v) override;
  bool do_visit(const BIT_STRING& v) override;
  bool do_visit(const OCTET_STRING& v) override;
  bool do_visit(const AbstractString& v) override;
  bool do_visit(const BMPString& v) override;
  bool do_visit(const CHOICE& v) override;
  bool do_visit(const OpenData& v) override;
  bool do_visit(const GeneralizedTime& v) override;
  bool do_visit(const SEQUENCE_OF_Base& v) override;
  bool visitExtensionRoot(const SEQUENCE& v, int index) override;
  bool visitKnownExtension(const SEQUENCE& v, int index) override;

 private:
  bool strict_;
};

class ValidChecker : public ConstraintChecker {
 public:
  ValidChecker() : ConstraintChecker(false) {}
};

class StrictlyValidChecker : public ConstraintChecker {
 public:
  StrictlyValidChecker() : ConstraintChecker(true) {}
};

// True for the kinds BER writes primitive: everything but SEQUENCE and
// SEQUENCE OF, and a CHOICE or open type holding one of those.
class PrimitiveChecker : public ConstVisitor {
 protected:
  bool do_visit(const AbstractData&) override { return true; }
  bool do_visit(const CHOICE& v) override;
  bool do_visit(const OpenData& v) override;
  bool do_visit(const SEQUENCE_OF_Base&) override { return false; }
  bool preVisitExtensionRoots(const SEQUENCE&) override { return false; }
};

// Fails where ValidChecker fails, and also at an extensible INTEGER below
// its lower bound and an extensible ENUMERATED above its greatest
// enumerator (values a peer of the root alone would not know), but traces a
// size above the upper bound only for a type of FixedConstraint (a string or
// list of another constraint type passes it, whatever its descriptor's
// bounds). Keeps one text: the path of field names, alternative names and
// element indices to the first bad component, then a message that begins
// with a blank.
class InvalidTracer : public ConstVisitor {
 public:
  std::string text() const { return strm_.str(); }

 protected:
  bool do_visit(const INTEGER& v) override;
  bool do_visit(const ENUMERATED& v) override;
  bool do_visit(const OBJECT_IDENTIFIER& v) override;
  bool do_visit(const BIT_STRING& v) override;
  bool do_visit(const OCTET_STRING& v) override;
  bool do_visit(const AbstractString& v) override;
  bool do_visit(const BMPString& v) override;
  bool do_visit(const CHOICE& v) override;
  bool do_visit(const OpenData& v) override;
  bool do_visit(const GeneralizedTime& v) override;
  bool do_visit(const SEQUENCE_OF_Base& v) override;
  bool visitExtensionRoot(const SEQUENCE& v, int index) override;
  bool visitKnownExtension(const SEQUENCE& v, int index) override;

 private:
  bool sizeInBounds(const char* kind, unsigned size, const ConstrainedObject& v);

  std::stringstream strm_;
};

std::ostream& operator<<(std::ostream& os, const InvalidTracer& tracer);

// True when the tracer passes value (nothing written); otherwise writes
// prefix, the trace and an end of line to os and returns false.
bool trace_invalid(std::ostream& os, const char* prefix, const AbstractData& value);

}  // namespace ASN1

#endif
