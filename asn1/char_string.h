// Restricted character strings (IA5String, PrintableString, NumericString,
// VisibleString, GeneralString: one class, the kind is the descriptor) and
// BMPString.
//
// Nothing here checks sizes or characters: the PER encoder refuses what
// breaks the descriptor.
#ifndef ASN1_CHAR_STRING_H
#define ASN1_CHAR_STRING_H

#include <iosfwd>
#include <string>

#include "asn1/abstract_data.h"

namespace ASN1 {

// The permitted characters of the standard string kinds, ascending.
extern const char NumericStringSet[];    // 11: blank and digits
extern const char PrintableStringSet[];  // 74
extern const char IA5StringSet[];        // 128: codes 0..127
extern const char VisibleStringSet[];    // 95: codes 32..126
extern const char GeneralStringSet[];    // 256: codes 0..255

class AbstractString : public ConstrainedObject,
                       public std::string,
                       public detail::Allocator<AbstractString> {
 public:
  struct InfoType : ConstrainedObject::InfoType {  // size bounds in characters
    const char* characterSet;                      // ascending code order
    unsigned characterSetSize;
    unsigned canonicalSetBits;
    unsigned numBitsUnaligned;
    unsigned numBitsAligned;
  };

  explicit AbstractString(const InfoType* info) : ConstrainedObject(info) {}
  AbstractString(const InfoType* info, const std::string& text)
      : ConstrainedObject(info), std::string(text) {}
  AbstractString(const InfoType* info, const char* text) : ConstrainedObject(info), std::string(text) {}
  AbstractString(const AbstractString&) = default;
  AbstractString& operator=(const AbstractString& other) {
    std::string::operator=(other);
    return *this;
  }

  static AbstractData* create(const TypeInfo* info);

  const InfoType* info() const { return static_cast<const InfoType*>(AbstractData::info()); }
  AbstractString& assign(const std::string& text) {
    std::string::assign(text);
    return *this;
  }
  const char* getCharacterSet() const { return info()->characterSet; }
  unsigned getCharacterSetSize() const { return info()->characterSetSize; }
  unsigned getCanonicalSetBits() const { return info()->canonicalSetBits; }
  unsigned getNumBits(bool aligned) const {
    return aligned ? info()->numBitsAligned : info()->numBitsUnaligned;
  }
  // Index of the first character outside the set; npos when all are in it or
  // the descriptor has no set.
  size_type find_first_invalid() const;
  // The checks of constraint_checker.h for this value with its contents.
  bool isValid() const { return AbstractData::isValid(); }
  bool isStrictlyValid() const { return AbstractData::isStrictlyValid(); }

  using std::string::operator[];
  using std::string::size;
  using std::string::compare;
  bool operator==(const AbstractString& other) const {
    return static_cast<const std::string&>(*this) == other;
  }
  bool operator!=(const AbstractString& other) const { return !(*this == other); }

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;
};

// The other standard kinds: the class only binds the kind's descriptor.
#define ASN1_STRING_KIND(Name)                                                     \
  class Name : public AbstractString {                                             \
   public:                                                                         \
    static const InfoType theInfo;                                                 \
    explicit Name(const InfoType* info = &theInfo) : AbstractString(info) {}       \
    Name(const std::string& text, const InfoType* info = &theInfo)                 \
        : AbstractString(info, text) {}                                            \
    Name(const Name&) = default;                                                   \
    Name& operator=(const Name& other) {                                           \
      AbstractString::operator=(other);                                            \
      return *this;                                                                \
    }                                                                              \
    Name& operator=(const std::string& text) {                                     \
      std::string::assign(text);                                                   \
      return *this;                                                                \
    }                                                                              \
  }
ASN1_STRING_KIND(NumericString);
ASN1_STRING_KIND(PrintableString);
ASN1_STRING_KIND(VisibleString);
ASN1_STRING_KIND(GeneralString);
#undef ASN1_STRING_KIND

class IA5String : public AbstractString {
 public:
  static const InfoType theInfo;  // Unconstrained

  explicit IA5String(const InfoType* info = &theInfo) : AbstractString(info) {}
  IA5String(const std::string& text, const InfoType* info = &theInfo) : AbstractString(info, text) {}
  IA5String(const IA5String&) = default;
  IA5String& operator=(const IA5String& other) {
    AbstractString::operator=(other);
    return *this;
  }
  IA5String& operator=(const std::string& text) {
    std::string::assign(text);
    return *this;
  }

  static AbstractData* create(const TypeInfo* info);
  IA5String* clone() const { return static_cast<IA5String*>(AbstractData::clone()); }
};

// Writes the characters as they are, without quotes.
std::ostream& operator<<(std::ostream& os, const AbstractString& s);

class BMPString : public ConstrainedObject, public std::wstring {
 public:
  struct InfoType : ConstrainedObject::InfoType {
    wchar_t firstChar;
    wchar_t lastChar;
    unsigned numBitsUnaligned;
    unsigned numBitsAligned;
  };
  static const InfoType theInfo;  // Unconstrained, 0..65535, 16 bits

  BMPString() : ConstrainedObject(&theInfo) {}
  explicit BMPString(const InfoType* info) : ConstrainedObject(info) {}
  BMPString(const std::wstring& text, const InfoType* info) : ConstrainedObject(info), std::wstring(text) {}
  BMPString(const wchar_t* text, const InfoType* info) : ConstrainedObject(info), std::wstring(text) {}
  BMPString(const BMPString&) = default;
  BMPString& operator=(const BMPString& other) {
    std::wstring::operator=(other);
    return *this;
  }

  static AbstractData* create(const TypeInfo* info);

  const InfoType* info() const { return static_cast<const InfoType*>(AbstractData::info()); }
  BMPString& assign(const wchar_t* text, unsigned n) {
    std::wstring::assign(text, n);
    return *this;
  }
  wchar_t getFirstChar() const { return info()->firstChar; }
  wchar_t getLastChar() const { return info()->lastChar; }
  unsigned getNumBits(bool aligned) const {
    return aligned ? info()->numBitsAligned : info()->numBitsUnaligned;
  }
  bool legalCharacter(wchar_t c) const { return getFirstChar() <= c && c <= getLastChar(); }
  size_type first_illegal_at() const;
  // The checks of constraint_checker.h for this value with its contents.
  bool isValid() const { return AbstractData::isValid(); }
  bool isStrictlyValid() const { return AbstractData::isStrictlyValid(); }

  using std::wstring::operator[];
  using std::wstring::size;
  using std::wstring::compare;

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;
};

}  // namespace ASN1

#endif
