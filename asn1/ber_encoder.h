// BER encoder: any value as X.690 tag-length-contents triplets with definite
// lengths, and the length counter that sizes each header.
//
// INTEGER and ENUMERATED are written in the fewest octets of two's
// complement; an INTEGER whose range is non-negative and reaches past
// 2^31 - 1 holds 32-bit unsigned numbers, so 2^31 and above take five octets
// (4294967295 in INTEGER (0..4294967295) is 02 05 00 FF FF FF FF). Where this
// BER differs from X.690 by design: a tag on a CHOICE or an open type wraps
// the whole encoding of what it holds (an explicit tag, marked constructed);
// nothing is sorted (SET OF keeps its order). Automatic tags are the context
// tags 0, 1, ... of the fields and alternatives.
#ifndef ASN1_BER_ENCODER_H
#define ASN1_BER_ENCODER_H

#include <vector>

#include "asn1/abstract_data.h"
#include "asn1/visitor.h"

namespace ASN1 {

// Stands in the encoder's tag field: use the value's own tag.
const unsigned kOwnTag = 0xFFFFFFFFu;

class BEREncoder : public ConstVisitor {
 public:
  // Clears out; the encoding is appended to it. out must outlive the encoder.
  explicit BEREncoder(std::vector<char>& out);

  // Identifier and length octets of value under the pending tag.
  void encodeHeader(const AbstractData& value);
  void encodeByte(unsigned octet) { out_.push_back(char(octet)); }
  void encodeBlock(const char* data, unsigned n) { out_.insert(out_.end(), data, data + n); }

 protected:
  bool do_visit(const Null& v) override;
  bool do_visit(const BOOLEAN& v) override;
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
  bool preVisitExtensionRoots(const SEQUENCE& v) override;
  bool visitExtensionRoot(const SEQUENCE& v, int index) override;
  bool visitKnownExtension(const SEQUENCE& v, int index) override;

 private:
  void writeHeader(unsigned tag, bool constructed, unsigned length);
  void encodeNumber(unsigned value, unsigned octets);
  bool encodeField(const SEQUENCE& v, int index);

  std::vector<char>& out_;
  unsigned tag_;  // tag of the next header; kOwnTag: the value's own
};

// Counts the contents octets of one value (the length its header announces).
class DataLengthCounter : public ConstVisitor {
 public:
  DataLengthCounter() : length_(0) {}
  unsigned getDataLen() const { return length_; }
  // Identifier + length + contents octets under tag.
  int getObjectLen(unsigned tag) const;

 protected:
  bool do_visit(const Null& v) override;
  bool do_visit(const BOOLEAN& v) override;
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
  bool preVisitExtensionRoots(const SEQUENCE& v) override;
  bool visitExtensionRoot(const SEQUENCE& v, int index) override;
  bool visitKnownExtension(const SEQUENCE& v, int index) override;

 private:
  unsigned length_;
};

// Contents octets of value.
int getDataLength(const AbstractData& value);
// Whole encoded length of value under tag: the contents alone when tag is 0,
// or kOwnTag for a value without a tag of its own (an untagged CHOICE).
int getObjectLength(const AbstractData& value, unsigned tag);
// Whether the INTEGER's type holds unsigned 32-bit numbers: its range is
// non-negative and reaches past 2^31 - 1, so a stored negative int is a
// number from 2^31 up.
bool holdsUnsigned32(const INTEGER& value);
// Contents octets of the INTEGER: getIntegerDataLength of its number, or 5
// for a number from 2^31 up (a 0 octet before its 32 bits).
unsigned getIntegerContentsLength(const INTEGER& value);
// Identifier octets of a tag word; length octets of a definite length.
unsigned tagOctets(unsigned tag);
unsigned lengthOctets(unsigned length);

}  // namespace ASN1

#endif
