// OCTET STRING and BIT STRING. Octets are held as char; read them as
// unsigned char (0..255) whatever the signedness of char.
#ifndef ASN1_OCTET_STRING_H
#define ASN1_OCTET_STRING_H

#include <vector>

#include "asn1/abstract_data.h"

namespace ASN1 {

class OCTET_STRING : public ConstrainedObject,
                     public std::vector<char>,
                     public detail::Allocator<OCTET_STRING> {
 public:
  typedef ConstrainedObject::InfoType InfoType;  // size bounds in octets
  static const InfoType theInfo;                 // Unconstrained

  OCTET_STRING() : ConstrainedObject(&theInfo) {}
  explicit OCTET_STRING(const InfoType* info) : ConstrainedObject(info) {}
  OCTET_STRING(unsigned count, char octet, const InfoType* info)
      : ConstrainedObject(info), std::vector<char>(count, octet) {}
  OCTET_STRING(const std::vector<char>& octets, const InfoType* info)
      : ConstrainedObject(info), std::vector<char>(octets) {}
  OCTET_STRING(const OCTET_STRING&) = default;
  OCTET_STRING& operator=(const OCTET_STRING& other) {
    std::vector<char>::operator=(other);
    return *this;
  }
  OCTET_STRING& operator=(const std::vector<char>& octets) {
    std::vector<char>::operator=(octets);
    return *this;
  }

  static AbstractData* create(const TypeInfo* info);

  // Both bases have these names; the value's are the vector's.
  using std::vector<char>::operator[];
  using std::vector<char>::size;
  bool operator==(const OCTET_STRING& other) const { return compare(other) == 0; }
  bool operator!=(const OCTET_STRING& other) const { return compare(other) != 0; }
  // The checks of constraint_checker.h for this value with its contents.
  bool isValid() const { return AbstractData::isValid(); }
  bool isStrictlyValid() const { return AbstractData::isStrictlyValid(); }

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;
};

class BIT_STRING : public ConstrainedObject, public detail::Allocator<BIT_STRING> {
 public:
  typedef ConstrainedObject::InfoType InfoType;  // size bounds in bits
  static const InfoType theInfo;                 // Unconstrained

  explicit BIT_STRING(const InfoType* info = &theInfo) : ConstrainedObject(info), totalBits_(0) {}
  BIT_STRING(const BIT_STRING&) = default;
  BIT_STRING& operator=(const BIT_STRING& other) {
    totalBits_ = other.totalBits_;
    bits_ = other.bits_;
    return *this;
  }

  static AbstractData* create(const TypeInfo* info);

  unsigned size() const { return totalBits_; }
  // Bit i: the first bit is the most significant bit of the first octet.
  bool operator[](unsigned i) const {
    return i < totalBits_ && (static_cast<unsigned char>(bits_[i >> 3]) & (0x80u >> (i & 7))) != 0;
  }
  void set(unsigned i, bool on = true);
  // n bits: bits added are 0, and the bits past n in the last octet are
  // cleared.
  void resize(unsigned n);
  // Clears the bits past size() in the last octet, after the octets were
  // filled through getData() (a decoder's block copy).
  void clearUnusedBits();
  std::vector<char>& getData() { return bits_; }
  const std::vector<char>& getData() const { return bits_; }
  // The checks of constraint_checker.h for this value with its contents.
  bool isValid() const { return AbstractData::isValid(); }
  bool isStrictlyValid() const { return AbstractData::isStrictlyValid(); }

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;

 private:
  unsigned totalBits_;
  std::vector<char> bits_;
};

}  // namespace ASN1

#endif
