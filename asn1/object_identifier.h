// OBJECT IDENTIFIER: a list of unsigned 32-bit arcs.
#ifndef ASN1_OBJECT_IDENTIFIER_H
#define ASN1_OBJECT_IDENTIFIER_H

#include <vector>

#include "asn1/abstract_data.h"

namespace ASN1 {

class OBJECT_IDENTIFIER : public AbstractData, public detail::Allocator<OBJECT_IDENTIFIER> {
 public:
  static const InfoType theInfo;

  explicit OBJECT_IDENTIFIER(const InfoType* info = &theInfo) : AbstractData(info) {}
  OBJECT_IDENTIFIER(const OBJECT_IDENTIFIER&) = default;
  OBJECT_IDENTIFIER& operator=(const OBJECT_IDENTIFIER& other) {
    arcs_ = other.arcs_;
    return *this;
  }

  static AbstractData* create(const TypeInfo* info);

  unsigned levels() const { return unsigned(arcs_.size()); }
  // REQUIRES: i < levels().
  unsigned operator[](unsigned i) const { return arcs_[i]; }
  void append(unsigned arc) { arcs_.push_back(arc); }
  void clear() { arcs_.clear(); }

  // Content octets as BER writes them (first subidentifier 40 * arc0 + arc1);
  // nothing with fewer than two arcs.
  void encodeCommon(std::vector<char>& out) const;
  // Replaces the arcs; false when the octets end inside a subidentifier.
  bool decodeCommon(const char* data, unsigned length);
  // The checks of constraint_checker.h for this value with its contents.
  bool isValid() const { return AbstractData::isValid(); }
  bool isStrictlyValid() const { return AbstractData::isStrictlyValid(); }

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;

 private:
  std::vector<unsigned> arcs_;
};

}  // namespace ASN1

#endif
