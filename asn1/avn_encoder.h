// The value-notation writer: any value as ASN.1 value notation text.
//
// This text is what every log line shows of a message and what monitoring
// file names are built from, so its form is byte-exact: records open with
// "{\n", fields are indented by two blanks per level and separated by ",\n",
// a choice is written "name : value", octet strings as '01 a0'H, bit strings
// as '0101'B, character strings between double quotes, enumerations by
// identifier. No line end follows the outermost value.
#ifndef ASN1_AVN_ENCODER_H
#define ASN1_AVN_ENCODER_H

#include <ostream>
#include <vector>

#include "asn1/stream_io.h"
#include "asn1/visitor.h"

namespace ASN1 {

// Writes one top-level value (make a fresh writer per value). A walk fails on
// a CHOICE with nothing selected, an empty open type, or a stream gone bad;
// what was written up to then stays written.
class AVNEncoder : public ConstVisitor {
 public:
  explicit AVNEncoder(std::ostream& os) : strm_(os), indent_(0) {}

 protected:
  bool do_visit(const Null& v) override;
  bool do_visit(const BOOLEAN& v) override;
  bool do_visit(const INTEGER& v) override;
  bool do_visit(const IntegerWithNamedNumber& v) override;
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
  bool preVisitExtensionRoots(const SEQUENCE& v) override;
  bool visitExtensionRoot(const SEQUENCE& v, int index) override;
  bool visitKnownExtension(const SEQUENCE& v, int index) override;
  bool afterVisitSequence(const SEQUENCE& v) override;

 private:
  bool writeOctets(const std::vector<char>& octets);
  bool writeField(const SEQUENCE& v, int index);

  std::ostream& strm_;
  int indent_;
  std::vector<bool> fieldWritten_;  // one entry per open SEQUENCE
};

// The stream inserter's worker (operator<< in abstract_data.h calls it):
// writes the value on the stream itself, so a pending field width pads the
// value's first item, and the fill character is a blank after an octet
// string. A value that cannot be written (a CHOICE with nothing selected)
// leaves its text up to that point and failbit on the stream: a caller that
// goes on writing to the stream afterwards (a log) writes such a value with
// asValueNotation() instead.
std::ostream& g_inserter(std::ostream& os, const AbstractData& value);

}  // namespace ASN1

#endif
