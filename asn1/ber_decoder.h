// BER decoder: the mirror of BEREncoder (see ber_encoder.h for where this BER
// differs from X.690).
//
// Hostile input is expected: every length is checked against the octets left
// in the innermost enclosing SEQUENCE (or the input) before anything is read,
// the indefinite length (octet 0x80) and lengths of more than four octets
// are refused, and no read leaves [begin, end). Tags are matched against the
// value's own tag, except right after the enclosing field or alternative was
// matched by its own tag (the "credit"). Every header's form must be the one
// the encoder writes: constructed for records, lists and the tag around a
// CHOICE or open type, primitive for everything else (a string split into
// constructed parts is refused, not read as its parts' headers). A number
// must fit its type: 32-bit two's complement, or 0 to 2^32 - 1 where the
// range needs it (holdsUnsigned32). After a failure the value holds what was
// read so far and the caller discards it.
#ifndef ASN1_BER_DECODER_H
#define ASN1_BER_DECODER_H

#include <vector>

#include "asn1/abstract_data.h"
#include "asn1/visitor.h"

namespace ASN1 {

class BERDecoder : public Visitor {
 public:
  // The input must outlive the decoder. env may be null (it is only passed on
  // to the nested decoder of an open type).
  BERDecoder(const char* begin, const char* end, CoderEnv* env);

  // One identifier and definite length. False when the input ends, the
  // length is indefinite or longer than four octets, or the contents would
  // run past the innermost end.
  bool decodeHeader(unsigned& tag, bool& primitive, unsigned& length);
  // A header whose tag is value's own (or any tag, taking one credit) and
  // whose form is value's; the position is restored on failure.
  bool decodeHeader(AbstractData& value, unsigned& length);
  int decodeByte();  // -1 at the end
  unsigned decodeBlock(char* out, unsigned n);
  bool atEnd() const { return position_ >= end_; }
  const char* position() const { return position_; }
  void rollback(const char* position) { position_ = position; }

 protected:
  bool do_visit(Null& v) override;
  bool do_visit(BOOLEAN& v) override;
  bool do_visit(INTEGER& v) override;
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
  // Where the contents being read end: the innermost SEQUENCE or list, else
  // the input.
  const char* limit() const { return ends_.empty() ? end_ : ends_.back(); }
  bool decodeHeader(AbstractData& value, bool constructed, unsigned& length);
  // A primitive header for value; contents receives its contents, and the
  // position is moved past them (the caller reads from contents).
  bool contentsOf(AbstractData& value, const char*& contents, unsigned& length);
  // The number of an INTEGER or ENUMERATED; unsigned32: the type holds 0 to
  // 2^32 - 1 (five octets allowed, negative numbers refused).
  bool decodeNumber(AbstractData& value, bool unsigned32, int& out);

  const char* position_;
  const char* end_;
  std::vector<const char*> ends_;  // one per SEQUENCE or list being read
  int credit_;
};

}  // namespace ASN1

#endif
