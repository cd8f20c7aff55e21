#include "asn1/simple.h"

#include <cstdlib>
#include <cstring>
#include <set>

#include "asn1/visitor.h"

namespace ASN1 {

const Null::InfoType Null::theInfo = {&Null::create, 5};
const BOOLEAN::InfoType BOOLEAN::theInfo = {&BOOLEAN::create, 1};

AbstractData* Null::create(const TypeInfo* info) { return new Null(info); }
int Null::do_compare(const AbstractData&) const { return 0; }
AbstractData* Null::do_clone() const { return createSame(); }
bool Null::do_accept(Visitor& v) { return v.visit(*this); }
bool Null::do_accept(ConstVisitor& v) const { return v.visit(*this); }

AbstractData* BOOLEAN::create(const TypeInfo* info) { return new BOOLEAN(info); }
int BOOLEAN::do_compare(const AbstractData& other) const {
  return int(value_) - int(static_cast<const BOOLEAN&>(other).value_);
}
AbstractData* BOOLEAN::do_clone() const { return cloneAs<BOOLEAN>(); }
bool BOOLEAN::do_accept(Visitor& v) { return v.visit(*this); }
bool BOOLEAN::do_accept(ConstVisitor& v) const { return v.visit(*this); }

namespace {

// Walks an enumerator table, computing each entry's number and identifier
// length. f(index, number, identifierLength) returns true to stop.
template <class F>
void walkEnumTable(const ENUMERATED::InfoType* d, F f) {
  int number = -1;
  for (unsigned i = 0; i < d->numEnumNames; ++i) {
    const char* entry = d->enumNames[i];
    const char* eq = std::strchr(entry, '=');
    number = eq != nullptr ? int(std::strtol(eq + 1, nullptr, 10)) : number + 1;
    const std::size_t len = eq != nullptr ? std::size_t(eq - entry) : std::strlen(entry);
    if (f(i, number, len)) return;
  }
}

// Identifiers of "name=number" entries, kept NUL-terminated for the program's
// life (a bounded set: one per such entry of the modules).
const char* internIdentifier(const char* entry, std::size_t len) {
  static std::set<std::string>* names = new std::set<std::string>;
  return names->insert(std::string(entry, len)).first->c_str();
}

}  // namespace

AbstractData* ENUMERATED::create(const TypeInfo* info) {
  return new ENUMERATED(static_cast<const InfoType*>(info));
}

const char* ENUMERATED::getName() const {
  const char* result = nullptr;
  const InfoType* d = info();
  walkEnumTable(d, [&](unsigned i, int number, std::size_t len) {
    if (number != value_) return false;
    const char* entry = d->enumNames[i];
    result = entry[len] == '\0' ? entry : internIdentifier(entry, len);
    return true;
  });
  return result;
}

int ENUMERATED::getMinimum() const {
  int least = 0;
  walkEnumTable(info(), [&](unsigned i, int number, std::size_t) {
    if (i == 0 || number < least) least = number;
    return false;
  });
  return least;
}

bool ENUMERATED::setFromName(const std::string& name) {
  bool found = false;
  const InfoType* d = info();
  walkEnumTable(d, [&](unsigned i, int number, std::size_t len) {
    if (len != name.size() || name.compare(0, len, d->enumNames[i], len) != 0) return false;
    value_ = number;
    found = true;
    return true;
  });
  if (!found) value_ = d->maxEnumValue + 1;
  return found;
}

int ENUMERATED::do_compare(const AbstractData& other) const {
  return int(unsigned(value_) - unsigned(static_cast<const ENUMERATED&>(other).value_));
}
AbstractData* ENUMERATED::do_clone() const { return cloneAs<ENUMERATED>(); }
bool ENUMERATED::do_accept(Visitor& v) { return v.visit(*this); }
bool ENUMERATED::do_accept(ConstVisitor& v) const { return v.visit(*this); }

}  // namespace ASN1
