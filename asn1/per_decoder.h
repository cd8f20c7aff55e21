// Aligned PER decoder: the mirror of PEREncoder (see per_encoder.h for where
// this PER differs from X.691).
//
// Limits: strings up to MaximumStringSize characters or octets (BIT STRING:
// bits), lists and extension maps up to MaximumArraySize entries; no
// fragmented lengths. Decoded numbers, enumerations and lengths are not
// checked against their upper bounds, trailing octets after the value are
// ignored, and an unknown CHOICE extension alternative fails the decoding.
// The decoder never reads outside [begin, end); after a failure the value
// holds what was read so far and the caller discards it.
#ifndef ASN1_PER_DECODER_H
#define ASN1_PER_DECODER_H

#include <cstddef>
#include <vector>

#include "asn1/abstract_data.h"
#include "asn1/per_encoder.h"
#include "asn1/visitor.h"

namespace ASN1 {

extern const unsigned MaximumStringSize;  // 16384
extern const unsigned MaximumArraySize;   // 128

class PERDecoder : public Visitor {
 public:
  struct memento_type {
    const char* position;  // null: nothing to restore
    unsigned bitOffset;
  };

  // The input must outlive the decoder. env may be null (it is only passed on
  // to the nested decoder of an open type).
  PERDecoder(const char* begin, const char* end, CoderEnv* env, bool aligned);

  bool atEnd() const { return position_ >= end_; }
  bool aligned() const { return aligned_; }
  unsigned getBitsLeft() const;
  void byteAlign();
  void setPosition(const char* p);
  void rollback(memento_type m);

  int decodeSingleBit();
  bool decodeMultiBit(unsigned nBits, unsigned& value) {
    // Most fields end in the octet they start in: single bits, small
    // numbers, aligned octets.
    if (nBits <= bitOffset_ && position_ < end_) {
      const unsigned rest = bitOffset_ - nBits;
      value = (static_cast<unsigned char>(*position_) >> rest) & ((1u << nBits) - 1);
      if (rest == 0) {
        bitOffset_ = 8;
        ++position_;
      } else {
        bitOffset_ = static_cast<unsigned short>(rest);
      }
      return true;
    }
    return decodeSpanningBits(nBits, value);
  }
  // REQUIRES: bits holds at least (nBits + 7) / 8 octets.
  bool decodeBitMap(std::vector<char>& bits, unsigned nBits);
  // REQUIRES: bits points to at least (nBits + 7) / 8 octets.
  bool decodeBitMap(char* bits, unsigned nBits);
  unsigned decodeBlock(char* out, unsigned n);
  bool decodeSmallUnsigned(unsigned& value);
  // 0 ok, -1 fail.
  int decodeUnsigned(unsigned lb, unsigned ub, unsigned& value) {
    const unsigned span = ub - lb;  // the number of values - 1, modulo 2^32
    if (span == 0) {
      value = lb;
      return 0;
    }
    if (atEnd()) return -1;
    unsigned bits;
    if (span < 255 || !aligned_) {
      // A bit field: up to 255 values, or any range when not aligned.
      if (!decodeMultiBit(CountBits(span + 1), bits)) return -1;
    } else if (span <= 0xFFFFu) {
      // 256 values: one aligned octet; up to 65536: two.
      byteAlign();
      if (!readOctets(span <= 0xFFu ? 1 : 2, bits)) return -1;
    } else {
      return decodeWideUnsigned(lb, ub, value);
    }
    value = lb + bits;
    return 0;
  }
  int decodeLength(unsigned lb, unsigned ub, unsigned& len);
  int decodeConstrainedLength(ConstrainedObject& obj, unsigned& len);

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
  int preVisitExtensions(SEQUENCE& v) override;
  int visitKnownExtension(SEQUENCE& v, int index, int optionalId) override;
  int visitUnknownExtensions(SEQUENCE& v) override;

 private:
  // decodeMultiBit for fields that run into the next octets (or past the end).
  bool decodeSpanningBits(unsigned nBits, unsigned& value);
  // The aligned length without upper bound: aligns, then one octet
  // 0xxxxxxx, or two octets 10xxxxxx xxxxxxxx; 11 would start fragments,
  // which are not supported. False when it cannot be read.
  bool decodeOctetLength(unsigned& len) {
    byteAlign();
    if (atEnd()) return false;
    const unsigned first = static_cast<unsigned char>(*position_);
    if ((first & 0x80u) != 0) return decodeTwoOctetLength(len);
    ++position_;
    len = first;
    return true;
  }
  bool decodeTwoOctetLength(unsigned& len);
  int decodeWideUnsigned(unsigned lb, unsigned ub, unsigned& value);
  // REQUIRES: the position is at an octet boundary, n <= 4. The next n
  // octets as a number; false (nothing read) when fewer are left.
  bool readOctets(unsigned n, unsigned& value) {
    if (std::size_t(end_ - position_) < n) return false;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(position_);
    unsigned v = 0;
    for (unsigned i = 0; i < n; ++i) v = (v << 8) | p[i];
    position_ += n;
    value = v;
    return true;
  }
  // Reads an open type's length; end receives where its contents end. False
  // when the length fails or the contents run past the input.
  bool openTypeEnd(const char*& end);
  // Steps over n octets at an octet boundary; false past the end of input
  // (ending exactly at the end is fine).
  bool skipOctets(unsigned n);

  const char* position_;
  const char* end_;
  unsigned short bitOffset_;  // bits not yet read in *position_, 1..8
  bool aligned_;
};

}  // namespace ASN1

#endif
