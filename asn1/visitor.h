// The two visitor interfaces through which every coder walks a value.
//
// Each value's do_accept calls the visitor's visit() for its own kind (double
// dispatch); a SEQUENCE is walked field by field by the record walks defined
// here, which call the record hooks that each coder overrides.
//
// Status codes of the mutable record walk's hooks:
//   0 fail, 1 finished successfully (the walk ends with success),
//   2 go on (no extension additions to read), 3 go on with extensions.
#ifndef ASN1_VISITOR_H
#define ASN1_VISITOR_H

#include <string>
#include <vector>

namespace ASN1 {

class AbstractData;
class Null;
class BOOLEAN;
class INTEGER;
class IntegerWithNamedNumber;
class ENUMERATED;
class OBJECT_IDENTIFIER;
class BIT_STRING;
class OCTET_STRING;
class AbstractString;
class BMPString;
class GeneralizedTime;
class CHOICE;
class SEQUENCE;
class SEQUENCE_OF_Base;
class OpenData;
class TypeConstrainedOpenData;
class CoderEnv;

// Visitor over mutable values: the decoders.
class Visitor {
 public:
  // env may be null; it is not owned.
  explicit Visitor(CoderEnv* env = nullptr) : env_(env) {}
  virtual ~Visitor() {}

  CoderEnv* get_env() const { return env_; }

  bool visit(Null& v) { return do_visit(v); }
  bool visit(BOOLEAN& v) { return do_visit(v); }
  bool visit(INTEGER& v) { return do_visit(v); }
  bool visit(IntegerWithNamedNumber& v) { return do_visit(v); }
  bool visit(ENUMERATED& v) { return do_visit(v); }
  bool visit(OBJECT_IDENTIFIER& v) { return do_visit(v); }
  bool visit(OCTET_STRING& v) { return do_visit(v); }
  bool visit(BIT_STRING& v) { return do_visit(v); }
  bool visit(AbstractString& v) { return do_visit(v); }
  bool visit(BMPString& v) { return do_visit(v); }
  bool visit(CHOICE& v) { return do_visit(v); }
  bool visit(SEQUENCE_OF_Base& v) { return do_visit(v); }
  bool visit(OpenData& v) { return do_visit(v); }
  bool revisit(OpenData& v) { return do_revisit(v); }
  bool visit(TypeConstrainedOpenData& v) { return do_visit(v); }
  bool visit(GeneralizedTime& v) { return do_visit(v); }
  // The record walk.
  bool visit(SEQUENCE& v);

 protected:
  virtual bool do_visit(Null&) = 0;
  virtual bool do_visit(BOOLEAN&) = 0;
  virtual bool do_visit(INTEGER&) = 0;
  virtual bool do_visit(IntegerWithNamedNumber& v);  // as INTEGER
  virtual bool do_visit(ENUMERATED&) = 0;
  virtual bool do_visit(OBJECT_IDENTIFIER&) = 0;
  virtual bool do_visit(OCTET_STRING&) = 0;
  virtual bool do_visit(BIT_STRING&) = 0;
  virtual bool do_visit(AbstractString&) = 0;
  virtual bool do_visit(BMPString&) = 0;
  virtual bool do_visit(CHOICE&) = 0;
  virtual bool do_visit(SEQUENCE_OF_Base&) = 0;
  virtual bool do_visit(OpenData&) = 0;
  virtual bool do_revisit(OpenData&) = 0;
  virtual bool do_visit(TypeConstrainedOpenData&) = 0;
  virtual bool do_visit(GeneralizedTime&) = 0;

  virtual int preVisitExtensionRoots(SEQUENCE&) { return 3; }
  // optionalId: the field's presence number, -1 for a mandatory field.
  virtual int visitExtensionRoot(SEQUENCE&, int /*index*/, int /*optionalId*/) { return 0; }
  virtual int preVisitExtensions(SEQUENCE&) { return 3; }
  virtual int visitKnownExtension(SEQUENCE&, int /*index*/, int /*optionalId*/) { return 0; }
  virtual int visitUnknownExtensions(SEQUENCE&) { return 1; }

 private:
  CoderEnv* env_;
};

// Visitor over const values: the encoders and read-only walkers.
class ConstVisitor {
 public:
  virtual ~ConstVisitor() {}

  bool visit(const Null& v) { return do_visit(v); }
  bool visit(const BOOLEAN& v) { return do_visit(v); }
  bool visit(const INTEGER& v) { return do_visit(v); }
  bool visit(const IntegerWithNamedNumber& v) { return do_visit(v); }
  bool visit(const ENUMERATED& v) { return do_visit(v); }
  bool visit(const OBJECT_IDENTIFIER& v) { return do_visit(v); }
  bool visit(const BIT_STRING& v) { return do_visit(v); }
  bool visit(const OCTET_STRING& v) { return do_visit(v); }
  bool visit(const AbstractString& v) { return do_visit(v); }
  bool visit(const BMPString& v) { return do_visit(v); }
  bool visit(const CHOICE& v) { return do_visit(v); }
  bool visit(const OpenData& v) { return do_visit(v); }
  bool visit(const GeneralizedTime& v) { return do_visit(v); }
  bool visit(const SEQUENCE_OF_Base& v) { return do_visit(v); }
  // The record walk.
  bool visit(const SEQUENCE& v);

 protected:
  virtual bool do_visit(const AbstractData&) { return true; }
  virtual bool do_visit(const Null& v);
  virtual bool do_visit(const BOOLEAN& v);
  virtual bool do_visit(const INTEGER& v);
  virtual bool do_visit(const IntegerWithNamedNumber& v);  // as INTEGER
  virtual bool do_visit(const ENUMERATED& v);
  virtual bool do_visit(const OBJECT_IDENTIFIER& v);
  virtual bool do_visit(const BIT_STRING& v);
  virtual bool do_visit(const OCTET_STRING& v);
  virtual bool do_visit(const AbstractString& v);
  virtual bool do_visit(const BMPString& v);
  virtual bool do_visit(const CHOICE& v);
  virtual bool do_visit(const OpenData& v);
  virtual bool do_visit(const GeneralizedTime& v);
  virtual bool do_visit(const SEQUENCE_OF_Base& v);

  virtual bool preVisitExtensionRoots(const SEQUENCE& v);  // as AbstractData
  virtual bool visitExtensionRoot(const SEQUENCE&, int /*index*/) { return false; }
  virtual bool preVisitExtensions(const SEQUENCE&) { return true; }
  virtual bool visitKnownExtension(const SEQUENCE&, int /*index*/) { return false; }
  virtual bool afterVisitSequence(const SEQUENCE&) { return true; }
};

// Content octets (1 to 4) of the shortest two's complement form of v.
unsigned getIntegerDataLength(int v);

// Reads the digits of a hexadecimal (base 16) or binary (base 2) string
// literal into bytes. Blanks and newlines are dropped; digitCount receives the
// number of digits; the last group is padded with "0". False when a group
// holds a character that is not a digit of the base.
bool get_from_string(const std::string& text, std::vector<char>& bytes, unsigned& digitCount,
                     int base);
inline bool get_from_hstring(const std::string& text, std::vector<char>& bytes,
                             unsigned& digitCount) {
  return get_from_string(text, bytes, digitCount, 16);
}
inline bool get_from_bstring(const std::string& text, std::vector<char>& bytes,
                             unsigned& digitCount) {
  return get_from_string(text, bytes, digitCount, 2);
}

// Position of name among the first count entries of names.
bool get_id(const char* const* names, unsigned count, const std::string& name, int& index);

}  // namespace ASN1

#endif
