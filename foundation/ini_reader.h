// Typed reading of one ini sub-section with diagnostics.
//
// Usage: build a Reader on the stack, give each variable its default, bind it
// with required.add(...) or optional.add(...), run the reader on a SubSection,
// then read the variables (and, where wanted, the valid flags that add()
// returned). A reader may be run on several sub-sections in turn.
//
// The first problem with a required key ends the run with false; problems with
// optional keys are reported and the variable keeps its value. Every problem is
// one or more lines on the diagnostic stream, each opened by the prefix.
//
// Lifetime: the bound variables and the key-name texts (not copied; pass
// string literals) must outlive every parse(). The reader adds an empty key to
// the sub-section for every bound name that was absent.
#ifndef FOUNDATION_INI_READER_H
#define FOUNDATION_INI_READER_H

#include <ostream>
#include <string>
#include <vector>

#include "foundation/ini_file.h"

namespace IniFile {

// Value texts of an enumeration; the array ends with an entry whose text is
// null.
template <class T>
struct Symbol {
  const char* text;
  T value;
};

namespace Private {

// One binding of a key name to a variable.
class KeyValue {
 public:
  KeyValue() : valid(false) {}
  virtual ~KeyValue() {}
  KeyValue(const KeyValue&) = delete;
  KeyValue& operator=(const KeyValue&) = delete;

  virtual const char* name() const = 0;
  // Converts text into the bound variable; false leaves it unchanged.
  virtual bool do_parse(const char* text) = 0;

  bool parse(const std::string& text) { return valid = do_parse(text.c_str()); }

  // The result of the last conversion; false when built.
  bool valid;
};

// Parses a whole text as a signed integer with automatic base (decimal, 0x
// hexadecimal, leading 0 octal). False for an empty text, trailing characters
// or a number outside the range of long.
bool ParseLong(const char* text, long& out);

// Enumerations and integers: a symbol table first (exact, case-sensitive),
// then a number. An enumeration bound here needs a fixed underlying type
// (enum E : int), since the number is stored unchecked.
template <class T>
class TKeyValue : public KeyValue {
 public:
  TKeyValue(T* variable, const char* keyName, const Symbol<T>* table)
      : mVariable(variable), mName(keyName), mTable(table) {}

  const char* name() const override { return mName; }
  bool do_parse(const char* text) override {
    if (mTable) {
      for (const Symbol<T>* s = mTable; s->text; ++s) {
        if (std::string(s->text) == text) {
          *mVariable = s->value;
          return true;
        }
      }
    }
    long number = 0;
    if (!ParseLong(text, number)) return false;
    *mVariable = static_cast<T>(number);
    return true;
  }

 private:
  T* mVariable;
  const char* mName;
  const Symbol<T>* mTable;
};

// "true", "yes", "enabled", "enable", "1" give true; "false", "no",
// "disabled", "disable", "0" give false (exact, case-sensitive).
template <>
class TKeyValue<bool> : public KeyValue {
 public:
  TKeyValue(bool* variable, const char* keyName, const Symbol<bool>*)
      : mVariable(variable), mName(keyName) {}
  const char* name() const override { return mName; }
  bool do_parse(const char* text) override;

 private:
  bool* mVariable;
  const char* mName;
};

// Any text, stored as it stands.
template <>
class TKeyValue<std::string> : public KeyValue {
 public:
  TKeyValue(std::string* variable, const char* keyName, const Symbol<std::string>*)
      : mVariable(variable), mName(keyName) {}
  const char* name() const override { return mName; }
  bool do_parse(const char* text) override {
    *mVariable = text;
    return true;
  }

 private:
  std::string* mVariable;
  const char* mName;
};

}  // namespace Private

class Reader {
 public:
  // An ordered list of bindings; it owns them.
  class Field {
   public:
    Field() {}
    ~Field();
    Field(const Field&) = delete;
    Field& operator=(const Field&) = delete;

    // Takes the binding over; returns its valid flag, which stays valid as
    // long as the field lives.
    bool& add(Private::KeyValue* binding);
    template <class T>
    bool& add(T* variable, const char* keyName, const Symbol<T>* table = nullptr) {
      return add(new Private::TKeyValue<T>(variable, keyName, table));
    }

    typedef std::vector<Private::KeyValue*>::const_iterator const_iterator;
    const_iterator begin() const { return mBindings.begin(); }
    const_iterator end() const { return mBindings.end(); }

   private:
    std::vector<Private::KeyValue*> mBindings;
  };

  // The stream is not owned and must outlive the reader.
  Reader(const std::string& prefix, std::ostream& os) : mPrefix(prefix), mOs(os) {}
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  bool parse(SubSection& sub);
  bool operator()(SubSection& sub) { return parse(sub); }

  Field required;
  Field optional;

 private:
  bool parseRequired(SubSection& sub, Private::KeyValue& binding);
  void parseOptional(SubSection& sub, Private::KeyValue& binding);
  void putLines(Key& key);

  std::string mPrefix;
  std::ostream& mOs;
};

}  // namespace IniFile

#endif  // FOUNDATION_INI_READER_H
