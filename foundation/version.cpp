#include "foundation/version.h"

#include <ostream>

// The values of this build. The tag is "T", the build date as yymmdd, "-"
// and the build time as hhmm.
const Version Version::current(Version::snapshot, 0, "", "builder", "2023-02-16 00:00", "T230216-0000", "ppc");

Version::Version(Type type, int number, const char* extra, const char* user, const char* date, const char* tag,
                 const char* arch)
    : type_(type), number_(number), extra_(extra), user_(user), date_(date), tag_(tag), arch_(arch) {
  update();
}

void Version::put(std::ostream& os) const { os << tag_; }

std::ostream& operator<<(std::ostream& os, const Version& v) {
  v.put(os);
  return os;
}

std::ostream& operator<<(std::ostream& os, Version::Type t) { return os << version_string(t); }

const char* version_string(Version::Type t) {
  switch (t) {
    case Version::snapshot:
      return "snapshot";
    case Version::test:
      return "test";
    case Version::release:
      return "release";
    case Version::unit_test:
      return "unit-test";
  }
  return "unknown";
}

const char* version_suffix(Version::Type t) {
  switch (t) {
    case Version::snapshot:
      return "S";
    case Version::test:
      return "T";
    case Version::release:
      return "R";
    case Version::unit_test:
      return "T";
  }
  return "U";
}
