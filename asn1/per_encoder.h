// Aligned PER encoder (ITU-T X.691, ALIGNED variant) with the differences the
// controller and the monitoring peers speak, which must be kept as they are:
//  - ENUMERATED is written by value, not by position: a root value v as a
//    constrained number in 0..max; an extension value as the normally small
//    number v + 1 followed by v in 0..v;
//  - an OCTET STRING of one or two octets is never aligned;
//  - the OBJECT IDENTIFIER length is one constrained octet (0..255);
//  - a BIT STRING of more than 16 bits is written as whole octets: what
//    follows it starts at the next octet, where X.691 goes on right after
//    the last bit (no message type has such a field);
//  - a BIT STRING of variable size and at most 16 bits goes on right after
//    its length, where X.691 starts it at the next octet: '101'B of
//    BIT STRING (SIZE (0..16)) is 1D here, 18 A0 there, and X.691's 80 15 C9
//    ('0001010111001001'B) reads here as '0000001010111001'B (no message
//    type has such a field);
//  - a value whose whole encoding is empty (NULL, an empty SEQUENCE) is
//    written as no octet, where X.691 writes the single octet 00 (no message
//    of either link encodes to nothing);
//  - characters use their own code only when the set's canonical bit count
//    is above 4 and at most the character width;
//  - a SEQUENCE's extension bit map is as long as the value's extension map
//    (one past the highest addition ever included), clipped to the additions
//    this side knows.
// There is no fragmentation: a length of 16384 or more fails the encoding.
#ifndef ASN1_PER_ENCODER_H
#define ASN1_PER_ENCODER_H

#include <vector>

#include "asn1/abstract_data.h"
#include "asn1/visitor.h"

namespace ASN1 {

// The least k in 0..31 with 2^k >= n; 32 when n is 0 or above 2^31.
inline unsigned CountBits(unsigned n) {
  if (n == 0 || n > 0x80000000u) return 32;
  if (n == 1) return 0;
  // The bit length of n - 1 (n - 1 is not 0 here).
  return 32 - unsigned(__builtin_clz(n - 1));
}

class PEREncoder : public ConstVisitor {
 public:
  // Clears out and appends the encoding to it; out must outlive the encoder.
  PEREncoder(std::vector<char>& out, bool aligned);

  // Appends the aligned encoding of value to out, after what out holds. On
  // failure out is not touched: its octets, size and storage stay as they
  // were.
  static bool append(const AbstractData& value, std::vector<char>& out);

  bool aligned() const { return aligned_; }
  void byteAlign();
  void encodeSingleBit(bool bit);
  // The low nBits (at most 32) bits of value, most significant first.
  void encodeMultiBit(unsigned value, unsigned nBits);
  // nBits bits of a bit map, the first being bit 7 of octet 0.
  void encodeBitMap(const std::vector<char>& bits, unsigned nBits);
  // REQUIRES: bits points to at least (nBits + 7) / 8 octets.
  void encodeBitMap(const char* bits, unsigned nBits);
  void encodeByte(unsigned value);
  void encodeBlock(const char* data, unsigned n);
  void encodeSmallUnsigned(unsigned value);
  // 1 ok, 0 value out of lb..ub (nothing written).
  int encodeUnsigned(unsigned value, unsigned lb, unsigned ub);
  // ub 0x7fffffff: no upper bound. 1 ok, 0 fail (nothing written).
  int encodeLength(unsigned len, unsigned lb, unsigned ub);
  // Writes the extension bit where the constraint has one; true when the
  // unconstrained form follows.
  bool encodeConstraint(const ConstrainedObject& obj, unsigned value);
  int encodeConstrainedLength(const ConstrainedObject& obj, unsigned len);
  // The value as an open type (length and octets of its own encoding).
  bool encodeAnyType(const AbstractData* value);

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
  bool preVisitExtensions(const SEQUENCE& v) override;
  bool visitKnownExtension(const SEQUENCE& v, int index) override;

 private:
  // Octets as an open type: their count, then the octets.
  bool encodeOpenOctets(const std::vector<char>& octets);
  // An INTEGER with a lower bound only; false below the bound.
  bool encodeSemiConstrained(const INTEGER& v);

  std::vector<char>& out_;
  unsigned short bitOffset_;  // bits still free in the last octet, 1..8
  bool aligned_;
};

}  // namespace ASN1

#endif
