// The value-notation reader: fills an existing value from the text that the
// writer (avn_encoder.h) produces.
//
// Records are "{", fields as "name value" separated by ",", then "}";
// optional fields may be left out, fields come in declaration order. A
// choice is "name : value" (white space before the colon), a list
// "{ v, v }", octet and bit strings '..'H or '..'B, character strings
// between double quotes (no escapes), enumerations by identifier. Words
// (names and identifiers) end at white space, "," and "}". Open types cannot
// be read. No constraint is tested (constraint_checker.h does that). Reading
// replaces what the value held (octets, bits, arcs, elements); a failed
// read leaves the value partly filled and the stream where the failing
// extraction stopped. setFromValueNotation and the coder environment take
// their text as one value: text after it other than white space is refused.
#ifndef ASN1_AVN_DECODER_H
#define ASN1_AVN_DECODER_H

#include <istream>
#include <string>
#include <vector>

#include "asn1/abstract_data.h"
#include "asn1/visitor.h"

namespace ASN1 {

class AVNDecoder : public Visitor {
 public:
  // is must outlive the reader; env may be null (the reader does not use it).
  AVNDecoder(std::istream& is, CoderEnv* env) : Visitor(env), strm_(is) {}

 protected:
  bool do_visit(Null& v) override;
  bool do_visit(BOOLEAN& v) override;
  bool do_visit(INTEGER& v) override;
  bool do_visit(IntegerWithNamedNumber& v) override;
  bool do_visit(ENUMERATED& v) override;
  bool do_visit(OBJECT_IDENTIFIER& v) override;
  bool do_visit(OCTET_STRING& v) override;
  bool do_visit(BIT_STRING& v) override;
  bool do_visit(AbstractString& v) override;
  bool do_visit(BMPString& v) override;
  bool do_visit(CHOICE& v) override;
  bool do_visit(SEQUENCE_OF_Base& v) override;
  bool do_visit(OpenData& v) override;
  bool do_revisit(OpenData& v) override;
  bool do_visit(TypeConstrainedOpenData& v) override;
  bool do_visit(GeneralizedTime& v) override;
  int preVisitExtensionRoots(SEQUENCE& v) override;
  int visitExtensionRoot(SEQUENCE& v, int index, int optionalId) override;
  int visitKnownExtension(SEQUENCE& v, int index, int optionalId) override;
  int visitUnknownExtensions(SEQUENCE& v) override;

 private:
  std::istream& strm_;
  // The name of the next field that the text announces, one per open record.
  std::vector<std::string> names_;
};

// True for a blank and a line feed only.
struct is_space_or_newline {
  bool operator()(char c) const { return c == ' ' || c == '\n'; }
};

// Neither failbit nor badbit.
bool input_success(std::istream& is);
// A double-quoted text (the quotes dropped); false without both quotes.
bool get_string(std::istream& is, std::string& text);
// '..'B or '..'H: the digits' octets appended to bytes, digitCount bits for
// B and 4 * digitCount for H in bits.
bool get_value_from(std::istream& is, std::vector<char>& bytes, unsigned& bits);
// A word: up to white space, "," or "}"; a "," or "}" standing first is a
// word of its own. False when the input ends first.
bool get_word(std::istream& is, std::string& word);

// The stream extractor's worker (operator>> calls it): reads a value through
// a fresh reader after the stream's sentry has skipped white space; a
// failure sets failbit, and an exception goes on only where the stream's
// exception mask asks for it (stream_io.h). Nothing is read from a stream
// that is not good. What follows the value stays in the stream.
std::istream& g_extractor(std::istream& is, AbstractData& value);

// Reads a value from the stream (g_extractor).
std::istream& operator>>(std::istream& is, AbstractData& value);

}  // namespace ASN1

#endif
