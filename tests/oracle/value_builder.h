// Random values of any ASN.1 type, built from its descriptor alone, for the
// property tests (the runtime's and the messages'). Every value lies within
// its type's constraints and the decoder's limits, so it must encode; ranges'
// ends and long strings turn up often; deterministic for a given seed.
#ifndef TESTS_ORACLE_VALUE_BUILDER_H
#define TESTS_ORACLE_VALUE_BUILDER_H

#include <memory>
#include <random>
#include <string>

#include "asn1/asn1.h"

namespace oracle {

class ValueBuilder {
 public:
  explicit ValueBuilder(unsigned seed) : rng_(seed), avoid_(-1) {}

  // Character strings never hold c (value notation has no escape for '"').
  void avoidCharacter(char c) { avoid_ = static_cast<unsigned char>(c); }

  // A new random value of the type, or null (with *why set) when the type
  // holds a kind the builder does not know or nests too deep.
  std::unique_ptr<ASN1::AbstractData> make(const ASN1::TypeInfo* info, std::string* why);

 private:
  bool fill(ASN1::AbstractData& value, int depth, std::string* why);
  bool fillSequence(ASN1::SEQUENCE& value, int depth, std::string* why);
  bool fillChoice(ASN1::CHOICE& value, int depth, std::string* why);
  bool fillEnumerated(ASN1::ENUMERATED& value, std::string* why);
  void fillInteger(ASN1::INTEGER& value);
  // A size within the constraint: up to `most` above the lower bound, now and
  // then (when `longer`) up to 25 times that.
  unsigned size(const ASN1::ConstrainedObject& value, unsigned most, bool longer = true);
  unsigned below(unsigned n) { return n ? unsigned(rng_() % n) : 0; }
  bool chance(unsigned percent) { return below(100) < percent; }

  std::mt19937 rng_;
  int avoid_;  // -1: none
};

}  // namespace oracle

#endif
