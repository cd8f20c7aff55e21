// The build record. Its tag is the server's version text: start-up banner,
// --version, status dump, syslog ident in daemon mode, monitoring.
#pragma once

#include <iosfwd>

class Version {
 public:
  enum Type { snapshot = 0, test = 1, release = 2, unit_test = 3 };

  // The texts are not owned and must live as long as the record.
  Version(Type type, int number, const char* extra, const char* user, const char* date, const char* tag,
          const char* arch);

  // Does nothing; kept as the hook that runs after construction.
  void update() {}

  Type type() const { return type_; }
  int number() const { return number_; }
  const char* extra() const { return extra_; }
  const char* user() const { return user_; }
  const char* date() const { return date_; }
  const char* tag() const { return tag_; }
  const char* arch() const { return arch_; }
  // Writes the tag and nothing else.
  void put(std::ostream& os) const;

  // This build's record.
  static const Version current;

 private:
  Type type_;
  int number_;
  const char* extra_;
  const char* user_;
  const char* date_;
  const char* tag_;
  const char* arch_;
};

std::ostream& operator<<(std::ostream& os, const Version& v);
std::ostream& operator<<(std::ostream& os, Version::Type t);
// "snapshot", "test", "release", "unit-test"; any other value "unknown".
const char* version_string(Version::Type t);
// "S", "T", "R", "T"; any other value "U".
const char* version_suffix(Version::Type t);
