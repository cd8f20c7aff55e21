// The ini model: construction, lookups, typed value access and dumps.
// The character-level parser is in ini_parser.cpp.
#include "foundation/ini_file.h"

#include <cstdio>
#include <ostream>
#include <sstream>

#include "foundation/fixed_path.h"

namespace IniFile {

// ---- SubKey ---------------------------------------------------------------

SubKey::SubKey(const std::string& value, int lineNo) : mValue(value), mLineNo(lineNo) {}

bool SubKey::GetBool(bool def) const {
  static const struct {
    const char* text;
    bool value;
  } kTable[] = {{"true", true}, {"false", false}, {"yes", true}, {"no", false},
                {"1", true},    {"0", false},     {"on", true},  {"off", false}};
  for (const auto& entry : kTable)
    if (mValue == entry.text) return entry.value;
  return def;
}

void SubKey::SetBool(bool value) { mValue = value ? "yes" : "no"; }

int SubKey::GetInt(int def) const {
  int value = def;
  std::sscanf(mValue.c_str(), "%d", &value);
  return value;
}

void SubKey::SetInt(int value) {
  std::ostringstream os;
  os << value;
  mValue = os.str();
}

float SubKey::GetFloat(float def) const {
  float value = def;
  std::sscanf(mValue.c_str(), "%f", &value);
  return value;
}

void SubKey::SetFloat(float value) {
  std::ostringstream os;
  os << value;
  mValue = os.str();
}

void SubKey::Dump(std::ostream& os) const {
  os << "dumping IniFile::SubKey\n"
     << "mValue=\"" << mValue << "\"\n"
     << "mLineNo=" << mLineNo << "\n";
}

// ---- Key ------------------------------------------------------------------

Key::Key(const std::string& name) : mName(name) {}

void Key::CheckEmpty() {
  if (mSubKeys.Count() == 0) mSubKeys.Append(new SubKey(std::string(), -1));
}

SubKey& Key::GetFirstSubKey() {
  CheckEmpty();
  return *mSubKeys.First();
}

SubKey& Key::GetLastSubKey() {
  CheckEmpty();
  return *mSubKeys.Last();
}

SubKey& Key::NewSubKey(const std::string& value, int lineNo) {
  return *mSubKeys.Append(new SubKey(value, lineNo));
}

void Key::Dump(std::ostream& os) const {
  os << "dumping IniFile::Key\n"
     << "mName=\"" << mName << "\"\n"
     << "mSubKeyCount=" << mSubKeys.Count() << "\n";
  for (const SubKey* s = mSubKeys.First(); s; s = s->GetNext()) s->Dump(os);
}

// ---- SubSection -----------------------------------------------------------

SubSection::SubSection(int lineNo) : mLineNo(lineNo) {}

Key& SubSection::operator[](const std::string& name) {
  auto it = mIndex.find(name);
  if (it != mIndex.end()) return *it->second;
  Key& key = NewKey(name);
  mIndex[name] = &key;
  return key;
}

Key& SubSection::NewKey(const std::string& name) { return *mKeys.Append(new Key(name)); }

SubKey& SubSection::NewSubKey(const std::string& keyName, const std::string& value, int lineNo) {
  return (*this)[keyName].NewSubKey(value, lineNo);
}

void SubSection::CleanKeys() {
  mKeys.Clear();
  mIndex.clear();
}

void SubSection::Dump(std::ostream& os) const {
  os << "dumping IniFile::SubSection\n"
     << "mLineNo=\"" << mLineNo << "\"\n"
     << "mKeyCount=" << mKeys.Count() << "\n";
  for (const Key* k = mKeys.First(); k; k = k->GetNext()) k->Dump(os);
}

// ---- Section --------------------------------------------------------------

Section::Section(const std::string& name) : mName(name) {}

SubSection& Section::NewSubSection(int lineNo) {
  return *mSubSections.Append(new SubSection(lineNo));
}

void Section::CheckEmpty() {
  if (mSubSections.Count() == 0) NewSubSection(-1);
}

void Section::Dump(std::ostream& os) const {
  os << "dumping IniFile::Section\n"
     << "mName=\"" << mName << "\"\n"
     << "mSubSectionCount=" << mSubSections.Count() << "\n";
  for (const SubSection* s = mSubSections.First(); s; s = s->GetNext()) s->Dump(os);
}

// ---- File -----------------------------------------------------------------

File::File() : mOpen(false) {}

File::File(const std::string& fileName) : mOpen(false) { Open(fileName); }

File::~File() {
  Close();
  CleanSections();
}

bool File::Open(const std::string& fileName) {
  Close();
  mRefusal.clear();
  mFileName = fileName;
  IntOpen();
  return mOpen;
}

void File::IntOpen() {
  std::string text;
  if (!FixedPath::ReadRegular(mFileName, kMaxSize, text, mRefusal)) return;
  std::istringstream in(text);
  IntOpenStream(in);
}

void File::Close() {
  if (!mOpen) return;
  CleanSections();
  mOpen = false;
}

void File::CleanSections() {
  mSections.Clear();
  mIndex.clear();
}

Section& File::operator[](const std::string& name) {
  auto it = mIndex.find(name);
  if (it != mIndex.end()) return *it->second;
  Section& section = NewSection(name);
  mIndex[name] = &section;
  return section;
}

Section& File::NewSection(const std::string& name) { return *mSections.Append(new Section(name)); }

SubSection& File::NewSubSection(const std::string& sectionName, int lineNo) {
  return (*this)[sectionName].NewSubSection(lineNo);
}

void File::Dump(std::ostream& os) const {
  os << "dumping IniFile::File\n"
     << "mFileName=\"" << mFileName << "\"\n"
     << "\n"
     << "mSectionCount=" << mSections.Count() << "\n";
  for (const Section* s = mSections.First(); s; s = s->GetNext()) s->Dump(os);
}

std::istream& operator>>(std::istream& is, File& file) {
  file.Close();
  file.mFileName.clear();
  file.IntOpenStream(is);
  return is;
}

}  // namespace IniFile
