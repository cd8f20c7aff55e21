#include "tests/oracle/per_oracle.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <unistd.h>

namespace oracle {

namespace {

// Beyond this depth optional parts are left out and lists stay empty, so
// that recursive types end; a type that cannot end by then is reported.
const int kShallow = 6;
const int kGiveUp = 40;

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs a shell command and collects its standard output lines.
bool runCommand(const std::string& command, std::vector<std::string>* lines) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  std::string text;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) text.append(buf, n);
  for (std::size_t from = 0, nl; from < text.size(); from = nl + 1) {
    nl = text.find('\n', from);
    if (nl == std::string::npos) nl = text.size();
    lines->push_back(text.substr(from, nl - from));
  }
  return pclose(pipe) == 0;
}

}  // namespace

bool available(const Location& where, std::string* why) {
  std::vector<std::string> lines;
  if (where.script.empty() || where.beamDir.empty())
    *why = "erlc was not found when the tests were configured";
  else if (access((where.beamDir + "/" + where.module + ".beam").c_str(), R_OK) != 0)
    *why = "no compiled module " + where.module + " in " + where.beamDir;
  else if (!runCommand("command -v escript >/dev/null 2>&1 && echo ok", &lines) || lines.empty())
    *why = "escript is not usable here";
  else
    return true;
  return false;
}

unsigned Batch::generate(const std::string& type, unsigned count, unsigned seed) {
  gen_.emplace_back();
  commands_.push_back({int(gen_.size() - 1), "gen " + type + " " + std::to_string(count) + " " + std::to_string(seed)});
  return unsigned(gen_.size() - 1);
}

unsigned Batch::reencode(const std::string& type, const std::vector<char>& octets) {
  re_.emplace_back();
  commands_.push_back({-1, "re " + type + " " + TestBytes::Hex(octets)});
  return unsigned(re_.size() - 1);
}

bool Batch::run(std::string* err) {
  const char* base = std::getenv("TMPDIR");
  std::string dir = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/per_oracle.XXXXXX";
  if (mkdtemp(&dir[0]) == nullptr) {
    *err = "cannot make a temporary directory";
    return false;
  }
  const std::string input = dir + "/commands";
  {
    std::ofstream out(input.c_str());
    for (const auto& c : commands_) out << c.second << '\n';
  }
  std::string command = "escript " + quote(where_.script) + " " + quote(where_.beamDir) + " " + quote(where_.module);
  if (!where_.valueModule.empty() || where_.maxList != 0)
    command += " " + quote(where_.valueModule.empty() ? where_.module : where_.valueModule);
  if (where_.maxList != 0) command += " " + std::to_string(where_.maxList);
  std::vector<std::string> lines;
  const bool ran = runCommand(command + " < " + quote(input), &lines);
  std::remove(input.c_str());
  rmdir(dir.c_str());
  *err = ran ? "the oracle's answer ended early" : "the Erlang oracle failed";
  std::size_t next = 0, re = 0;
  for (const auto& c : commands_) {
    while (ran && c.first >= 0 && next < lines.size() && lines[next] != ".")
      gen_[c.first].push_back(TestBytes::FromHex(lines[next++]));
    if (!ran || next == lines.size()) return false;
    if (c.first < 0) re_[re++] = lines[next];
    ++next;
  }
  commands_.clear();
  return true;
}


std::unique_ptr<ASN1::AbstractData> ValueBuilder::make(const ASN1::TypeInfo* info,
                                                       std::string* why) {
  std::unique_ptr<ASN1::AbstractData> value(ASN1::AbstractData::create(info));
  if (!value) *why = "no descriptor";
  return value && fill(*value, 0, why) ? std::move(value) : nullptr;
}

bool ValueBuilder::fill(ASN1::AbstractData& value, int depth, std::string* why) {
  if (depth > kGiveUp) {
    *why = "nesting too deep";
    return false;
  }
  if (auto* s = dynamic_cast<ASN1::SEQUENCE*>(&value)) return fillSequence(*s, depth, why);
  if (auto* c = dynamic_cast<ASN1::CHOICE*>(&value)) return fillChoice(*c, depth, why);
  if (auto* e = dynamic_cast<ASN1::ENUMERATED*>(&value)) return fillEnumerated(*e, why);
  if (auto* i = dynamic_cast<ASN1::INTEGER*>(&value)) return fillInteger(*i);
  if (auto* b = dynamic_cast<ASN1::BOOLEAN*>(&value)) {
    *b = chance(50);
    return true;
  }
  if (dynamic_cast<ASN1::Null*>(&value)) return true;
  if (auto* o = dynamic_cast<ASN1::OCTET_STRING*>(&value)) {
    o->resize(size(*o, 20));
    for (auto& octet : static_cast<std::vector<char>&>(*o)) octet = static_cast<char>(below(256));
    return true;
  }
  if (auto* bits = dynamic_cast<ASN1::BIT_STRING*>(&value)) {
    bits->resize(size(*bits, 16));
    for (unsigned i = 0; i < bits->size(); ++i) bits->set(i, chance(50));
    return true;
  }
  if (auto* oid = dynamic_cast<ASN1::OBJECT_IDENTIFIER*>(&value)) {
    oid->clear();
    oid->append(below(3));
    oid->append(below(40));
    for (unsigned i = below(5); i > 0; --i) oid->append(chance(50) ? below(200) : unsigned(rng_()));
    return true;
  }
  if (auto* str = dynamic_cast<ASN1::AbstractString*>(&value)) {
    unsigned n = size(*str, 12);
    std::string text;
    for (unsigned i = 0; i < n; ++i) {
      const char* set = str->getCharacterSet();
      unsigned count = str->getCharacterSetSize();
      char c = set && count ? set[below(count)] : static_cast<char>(below(128));
      if (static_cast<unsigned char>(c) == avoid_) c = ' ';
      text += c;
    }
    str->assign(text);
    return true;
  }
  if (auto* list = dynamic_cast<ASN1::SEQUENCE_OF_Base*>(&value)) {
    unsigned n = depth >= kShallow ? 0 : size(*list, 3, false);
    for (unsigned i = 0; i < n; ++i) {
      std::unique_ptr<ASN1::AbstractData> element(list->createElement());
      if (!element || !fill(*element, depth + 1, why)) return false;
      list->push_back(element.release());
    }
    return true;
  }
  *why = "a kind the builder does not fill";
  return false;
}

bool ValueBuilder::fillSequence(ASN1::SEQUENCE& value, int depth, std::string* why) {
  const ASN1::SEQUENCE::InfoType* info = value.info();
  bool shallow = depth >= kShallow;
  for (unsigned i = 0; i < info->numRootFields; ++i) {
    int bit = info->fieldIds[i];
    ASN1::AbstractData* field = value.getField(i);
    if (bit >= 0) {
      if (shallow || !chance(50)) continue;
      field = value.includeOptionalField(unsigned(bit), i);
    }
    if (!field || !fill(*field, depth + 1, why)) return false;
  }
  // Additions as a peer that knows them all sends them: a map of every bit.
  std::vector<bool> chosen;
  for (unsigned k = 0; k < info->numExtensions; ++k) chosen.push_back(!shallow && chance(30));
  if (std::find(chosen.begin(), chosen.end(), true) == chosen.end()) return true;
  for (unsigned k = 0; k < info->numExtensions; ++k) {
    ASN1::AbstractData* field = value.includeOptionalField(info->numOptional + k, info->numRootFields + k);
    if (!field || !fill(*field, depth + 1, why)) return false;
    if (!chosen[k]) value.removeOptionalField(info->numOptional + k);
  }
  return true;
}

bool ValueBuilder::fillChoice(ASN1::CHOICE& value, int depth, std::string* why) {
  unsigned total = value.info()->totalChoices;
  // Deep down, try the alternatives in order: the first that ends is taken.
  unsigned first = depth >= kShallow ? 0 : below(total);
  for (unsigned n = 0; n < total; ++n) {
    int index = int((first + n) % total);
    if (!value.select(index)) continue;
    std::string inner;
    if (fill(*value.getSelection(), depth + 1, &inner)) return true;
    *why = inner;
  }
  if (why->empty()) *why = "no alternative can be selected";
  return false;
}

bool ValueBuilder::fillEnumerated(ASN1::ENUMERATED& value, std::string* why) {
  // The numbers of the table: "name" counts on by one, "name=n" sets n.
  const ASN1::ENUMERATED::InfoType* info = value.info();
  std::vector<int> numbers;
  int next = 0;
  for (unsigned i = 0; i < info->numEnumNames; ++i) {
    const char* entry = info->enumNames[i];
    const char* eq = std::strchr(entry, '=');
    int number = eq ? std::atoi(eq + 1) : next;
    next = number + 1;
    // Negative numbers do not encode (TERM::RadioStandby not-use).
    if (number >= 0 && number <= info->maxEnumValue) numbers.push_back(number);
  }
  if (numbers.empty()) {
    *why = "no enumerator encodes";
    return false;
  }
  value.setFromInt(numbers[below(unsigned(numbers.size()))]);
  return true;
}

bool ValueBuilder::fillInteger(ASN1::INTEGER& value) {
  long long lower = value.getLowerLimit();
  switch (value.getConstraintType()) {
    case ASN1::FixedConstraint:
    case ASN1::ExtendableConstraint: {
      unsigned long long span = (unsigned long long)value.getUpperLimit() - (unsigned long long)lower + 1;
      unsigned long long pick = ((unsigned long long)rng_() << 32 | rng_()) % span;
      const unsigned edge = below(6);  // now and then an end of the range
      if (edge < 2) pick = edge == 0 ? 0 : span - 1;
      value.setValue(int((long long)pick + lower));
      return true;
    }
    case ASN1::PartiallyConstrained:  // now and then the bound itself
      value.setValue(int(lower + (below(6) == 0 ? 0 : below(100000))));
      return true;
    default:
      break;
  }
  // Unconstrained: small and large magnitudes, both signs, so that every
  // length of the two's-complement encoding turns up.
  unsigned bits = 1 + below(32);
  unsigned raw = unsigned(rng_()) >> (32 - bits);
  value.setValue(chance(50) ? int(raw) : -int(raw >> 1) - 1);
  return true;
}

unsigned ValueBuilder::size(const ASN1::ConstrainedObject& value, unsigned most, bool longer) {
  unsigned lower = value.getConstraintType() == ASN1::Unconstrained ? 0 : unsigned(value.getLowerLimit());
  unsigned upper = lower + (longer && chance(10) ? 25 * most : most);
  if ((value.getConstraintType() == ASN1::FixedConstraint ||
       value.getConstraintType() == ASN1::ExtendableConstraint) &&
      value.getUpperLimit() < upper)
    upper = value.getUpperLimit();
  return lower + below(upper - lower + 1);
}

}  // namespace oracle
