// The coder environment and the two entry points through which every message
// becomes octets and back.
//
// Use: a fresh environment per message, set_encodingRule(per), one
// ASN1::encode or ASN1::decode, done. On a failed encode nothing is written
// to the output; on a failed decode the value holds what was read and must be
// discarded.
#ifndef ASN1_CODER_ENV_H
#define ASN1_CODER_ENV_H

#include <algorithm>
#include <cstring>
#include <iterator>
#include <loki/AssocVector.h>
#include <sstream>
#include <string>
#include <vector>

#include "asn1/abstract_data.h"
#include "asn1/avn_encoder.h"
#include "asn1/ber_encoder.h"
#include "asn1/per_encoder.h"

namespace ASN1 {

class Module;

class CoderEnv {
 public:
  enum EncodingRules { avn = 0, ber = 1, per = 2 };

  struct StringListeralCmp {
    typedef const char* first_argument_type;
    typedef const char* second_argument_type;
    typedef bool result_type;
    bool operator()(const char* a, const char* b) const { return std::strcmp(a, b) < 0; }
  };
  // Module name to module; not owned. Nothing in the system fills it.
  typedef Loki::AssocVector<const char*, Module*, StringListeralCmp> ModuleMap;

  CoderEnv() : rule_(EncodingRules(-1)) {}
  CoderEnv(const CoderEnv&) = delete;
  CoderEnv& operator=(const CoderEnv&) = delete;

  void set_encodingRule(EncodingRules rule) { rule_ = rule; }
  EncodingRules get_encodingRule() const { return rule_; }

  // Encodes by the selected rule and writes the whole result to out, or
  // nothing when the encoding fails; false for an unknown rule.
  template <class OutputIterator>
  bool encode(const AbstractData& value, OutputIterator out) {
    switch (rule_) {
      case per:
        return encodePER(value, out);
      case ber:
        return encodeBER(value, out);
      case avn:
        return encodeAVN(value, out);
      default:
        return false;
    }
  }

  template <class OutputIterator>
  bool encodePER(const AbstractData& value, OutputIterator out) {
    std::vector<char> octets;
    PEREncoder encoder(octets, true);
    if (!value.accept(encoder)) return false;
    std::copy(octets.begin(), octets.end(), out);
    return true;
  }
  // The form every caller uses: the whole encoding is appended to the
  // caller's vector in one step once it has succeeded; on failure the
  // vector is not touched (pointers into it stay good).
  bool encodePER(const AbstractData& value, std::back_insert_iterator<std::vector<char> > out) {
    return PEREncoder::append(value, *BackInserterAccess::of(out));
  }

  template <class OutputIterator>
  bool encodeBER(const AbstractData& value, OutputIterator out) {
    std::vector<char> octets;
    BEREncoder encoder(octets);
    if (!value.accept(encoder)) return false;
    std::copy(octets.begin(), octets.end(), out);
    return true;
  }

  template <class OutputIterator>
  bool encodeAVN(const AbstractData& value, OutputIterator out) {
    std::ostringstream text;
    AVNEncoder encoder(text);
    if (!value.accept(encoder)) return false;
    const std::string s = text.str();
    for (char c : s) *out++ = c;
    return true;
  }

  // Decodes [begin, end) into value by the selected rule; the decoders get a
  // null environment when withoutEnv is true (the value-notation reader
  // never gets one).
  bool decode(const char* begin, const char* end, AbstractData& value, bool withoutEnv);

 private:
  // The vector behind a back inserter (its protected member, reached the
  // one portable way: a member pointer taken through a derived class).
  struct BackInserterAccess : std::back_insert_iterator<std::vector<char> > {
    static std::vector<char>* of(const std::back_insert_iterator<std::vector<char> >& it) {
      return it.*(&BackInserterAccess::container);
    }
  };

  EncodingRules rule_;
  ModuleMap modules_;
};

template <class OutputIterator>
bool encode(const AbstractData& value, CoderEnv* env, OutputIterator out) {
  return env->encode(value, out);
}

template <class InputIterator>
bool decode(InputIterator begin, InputIterator end, CoderEnv* env, AbstractData& value,
            bool withoutEnv) {
  return env->decode(begin, end, value, withoutEnv);
}

}  // namespace ASN1

#endif
