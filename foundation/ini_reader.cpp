// Typed reading of ini sub-sections; the diagnostic texts are relied on by
// whoever reads the board's logs, so they stay exactly as they are.
#include "foundation/ini_reader.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace IniFile {

namespace Private {

bool ParseLong(const char* text, long& out) {
  if (*text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  const long number = std::strtol(text, &end, 0);
  // A number that does not fit would silently become LONG_MAX or LONG_MIN.
  if (*end != '\0' || errno == ERANGE) return false;
  out = number;
  return true;
}

bool TKeyValue<bool>::do_parse(const char* text) {
  static const struct {
    const char* text;
    bool value;
  } kTable[] = {{"true", true},     {"false", false},    {"yes", true},
                {"no", false},      {"enabled", true},   {"disabled", false},
                {"enable", true},   {"disable", false},  {"1", true},
                {"0", false}};
  for (const auto& entry : kTable) {
    if (std::strcmp(entry.text, text) == 0) {
      *mVariable = entry.value;
      return true;
    }
  }
  return false;
}

}  // namespace Private

Reader::Field::~Field() {
  for (Private::KeyValue* binding : mBindings) delete binding;
}

bool& Reader::Field::add(Private::KeyValue* binding) {
  mBindings.push_back(binding);
  return binding->valid;
}

bool Reader::parse(SubSection& sub) {
  for (Private::KeyValue* binding : required)
    if (!parseRequired(sub, *binding)) return false;
  for (Private::KeyValue* binding : optional) parseOptional(sub, *binding);
  return true;
}

// The line numbers of every value, each after a blank.
void Reader::putLines(Key& key) {
  for (const SubKey& value : key) mOs << " " << value.GetLineNo();
}

bool Reader::parseRequired(SubSection& sub, Private::KeyValue& binding) {
  Key& key = sub[binding.name()];
  const uint32_t count = key.GetCount();
  if (count == 0) {
    mOs << mPrefix << "required key \"" << binding.name() << "\" not present, line "
        << sub.GetLineNo() << std::endl;
    return false;
  }
  if (count == 1) {
    if (binding.parse(key.GetStr())) return true;
    mOs << mPrefix << "required key \"" << binding.name() << "\" has invalid value=\""
        << key.GetStr() << "\"," << " line " << key.GetFirstSubKey().GetLineNo() << std::endl;
    return false;
  }
  if (count == 2) {
    mOs << mPrefix << "required key \"" << binding.name() << "\" is duplicated!" << std::endl;
    mOs << mPrefix << " first occurence at " << key.GetFirstSubKey().GetLineNo() << " line."
        << std::endl;
    mOs << mPrefix << " second occurence at " << key.GetLastSubKey().GetLineNo() << " line."
        << std::endl;
    return false;
  }
  mOs << mPrefix << "required key \"" << binding.name() << "\" specified more than once:";
  putLines(key);
  mOs << " lines" << std::endl;
  return false;
}

void Reader::parseOptional(SubSection& sub, Private::KeyValue& binding) {
  Key& key = sub[binding.name()];
  binding.valid = false;
  const uint32_t count = key.GetCount();
  if (count == 0) return;
  if (count == 1) {
    if (binding.parse(key.GetStr())) return;
    mOs << mPrefix << "optional key \"" << binding.name() << "\" has invalid value=\""
        << key.GetStr() << "\"," << " line " << key.GetFirstSubKey().GetLineNo()
        << ". Key will be ignored." << std::endl;
    return;
  }
  if (count == 2) {
    mOs << mPrefix << "optional key \"" << binding.name() << "\" is duplicated!" << std::endl;
    mOs << mPrefix << " first occurence at " << key.GetFirstSubKey().GetLineNo() << " line."
        << std::endl;
    mOs << mPrefix << " second occurence at " << key.GetLastSubKey().GetLineNo()
        << " line. Both keys will be ignored." << std::endl;
    return;
  }
  mOs << mPrefix << "optional key \"" << binding.name() << "\" specified more than once:";
  putLines(key);
  mOs << " lines." << " All keys will be ignored." << std::endl;
}

}  // namespace IniFile
