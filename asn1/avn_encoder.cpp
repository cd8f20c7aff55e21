#include "asn1/avn_encoder.h"

#include <boost/scoped_array.hpp>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <new>
#include <sstream>

#include "asn1/asn1.h"

namespace ASN1 {

bool AVNEncoder::do_visit(const Null&) {
  strm_ << "NULL";
  return strm_.good();
}

bool AVNEncoder::do_visit(const BOOLEAN& v) {
  strm_ << (v ? "TRUE" : "FALSE");
  return strm_.good();
}

bool AVNEncoder::do_visit(const INTEGER& v) {
  if (v.constrained() && v.getLowerLimit() >= 0)
    strm_ << unsigned(v.getValue());
  else
    strm_ << v.getValue();
  return strm_.good();
}

bool AVNEncoder::do_visit(const IntegerWithNamedNumber& v) {
  std::string name;
  if (!v.getName(name)) return do_visit(static_cast<const INTEGER&>(v));
  strm_ << name;
  return strm_.good();
}

bool AVNEncoder::do_visit(const ENUMERATED& v) {
  const char* name = v.getName();
  if (name != nullptr)
    strm_ << name;
  else
    strm_ << v.asInt();
  return strm_.good();
}

bool AVNEncoder::do_visit(const OBJECT_IDENTIFIER& v) {
  strm_ << "{ ";
  for (unsigned i = 0; i < v.levels(); ++i) strm_ << v[i] << ' ';
  strm_ << '}';
  return strm_.good();
}

bool AVNEncoder::do_visit(const BIT_STRING& v) {
  strm_ << '\'';
  for (unsigned i = 0; i < v.size(); ++i) strm_ << (v[i] ? '1' : '0');
  strm_ << "'B";
  return strm_.good();
}

bool AVNEncoder::writeOctets(const std::vector<char>& octets) {
  const std::ios_base::fmtflags flags = strm_.flags();
  strm_ << '\'';
  for (std::size_t i = 0; i < octets.size() && strm_.good(); ++i) {
    strm_ << std::hex << std::setw(2) << std::setfill('0')
          << unsigned(static_cast<unsigned char>(octets[i]));
    if (i + 1 != octets.size()) strm_ << ' ';
  }
  if (strm_.good()) strm_ << "'H";
  strm_.flags(flags);
  strm_.fill(' ');
  return strm_.good();
}

bool AVNEncoder::do_visit(const OCTET_STRING& v) { return writeOctets(v); }

bool AVNEncoder::do_visit(const AbstractString& v) {
  strm_ << '"' << static_cast<const std::string&>(v) << '"';
  return strm_.good();
}

bool AVNEncoder::do_visit(const BMPString& v) {
  // The process stays in the POSIX locale, where only 0x00..0x7F convert.
  const std::size_t n = v.size();
  boost::scoped_array<char> buf(new char[n + 1]);
  const std::size_t converted = std::wcstombs(buf.get(), v.c_str(), n);
  if (converted != std::size_t(-1)) {
    buf[converted < n ? converted : n] = '\0';
    strm_ << '"' << buf.get() << '"';
    return strm_.good();
  }
  strm_ << '{';
  for (std::size_t i = 0; i < n && strm_.good(); ++i) {
    const unsigned c = unsigned(v[i]);
    // The row is the character shifted right by 8 whole: a character above
    // U+FFFF keeps its plane in it (U+10000 is row 256), not a cut-off 0.
    strm_ << "{ 0, 0, " << (c >> 8) << ", " << (c & 0xFF) << '}';
    if (i + 1 != n && strm_.good()) strm_ << ", ";
  }
  if (strm_.good()) strm_ << '}';
  return strm_.good();
}

bool AVNEncoder::do_visit(const CHOICE& v) {
  if (v.currentSelection() < 0 || v.getSelection() == nullptr) return false;
  strm_ << v.getSelectionName() << " : ";
  return v.getSelection()->accept(*this);
}

bool AVNEncoder::do_visit(const OpenData& v) {
  if (v.has_data()) return v.get_data().accept(*this);
  if (v.has_buf()) return writeOctets(v.get_buf());
  return false;
}

bool AVNEncoder::do_visit(const GeneralizedTime& v) {
  strm_ << '"' << v.get() << '"';
  return strm_.good();
}

bool AVNEncoder::do_visit(const SEQUENCE_OF_Base& v) {
  strm_ << "{\n";
  indent_ += 2;
  for (SEQUENCE_OF_Base::const_iterator it = v.begin(); it != v.end() && strm_.good(); ++it) {
    strm_ << std::setw(indent_) << ' ';
    if (!(*it)->accept(*this)) return false;
    if (it + 1 != v.end()) strm_ << ",\n";
  }
  indent_ -= 2;
  if (!v.empty() && strm_.good()) strm_ << '\n';
  strm_ << std::setw(indent_ + 1) << '}';
  return strm_.good();
}

bool AVNEncoder::preVisitExtensionRoots(const SEQUENCE&) {
  fieldWritten_.push_back(false);
  strm_ << "{\n";
  return strm_.good();
}

bool AVNEncoder::writeField(const SEQUENCE& v, int index) {
  if (fieldWritten_.back()) strm_ << ",\n";
  const char* name = v.getFieldName(unsigned(index));
  strm_ << std::setw(indent_ + 2 + int(std::strlen(name))) << name << ' ';
  indent_ += 2;
  const AbstractData* field = v.getField(unsigned(index));
  if (field == nullptr || !field->accept(*this)) return false;
  indent_ -= 2;
  fieldWritten_.back() = true;
  return true;
}

bool AVNEncoder::visitExtensionRoot(const SEQUENCE& v, int index) { return writeField(v, index); }
bool AVNEncoder::visitKnownExtension(const SEQUENCE& v, int index) { return writeField(v, index); }

bool AVNEncoder::afterVisitSequence(const SEQUENCE&) {
  if (fieldWritten_.back()) strm_ << '\n';
  fieldWritten_.pop_back();
  strm_ << std::setw(indent_ + 1) << '}';
  return strm_.good();
}

std::ios_base::iostate AbstractData::print_on(std::ostream& os) const {
  AVNEncoder writer(os);
  return accept(writer) ? std::ios_base::goodbit : std::ios_base::failbit;
}

std::string AbstractData::asValueNotation() const {
  std::ostringstream os;
  AVNEncoder writer(os);
  accept(writer);
  return os.str();
}

std::ostream& g_inserter(std::ostream& os, const AbstractData& value) {
  if (!os.good()) return os;
  InserterWrapper<char, std::char_traits<char>, AbstractData> wrapper(os, value);
  wrapper.do_it(os);
  return os;
}

std::ostream& operator<<(std::ostream& os, const AbstractData& value) {
  if (!os.good()) return os;
  return g_inserter(os, value);
}

}  // namespace ASN1
