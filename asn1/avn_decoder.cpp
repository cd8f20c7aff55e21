#include "asn1/avn_decoder.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>

#include "asn1/asn1.h"
#include "asn1/stream_io.h"

namespace ASN1 {

namespace {

bool isBlank(int c) { return std::isspace(c) != 0; }

// The next non-blank character; false at the end of the input.
bool nextChar(std::istream& is, char& c) { return bool(is >> c); }

bool expect(std::istream& is, char wanted) {
  char c;
  return nextChar(is, c) && c == wanted;
}

// Letters only, the first non-letter left in the stream.
bool get_letters(std::istream& is, std::string& word) {
  word.clear();
  is >> std::ws;
  while (std::isalpha(is.peek()) != 0) word += char(is.get());
  return !word.empty();
}

// Everything up to the delimiter, which is consumed; false when it never
// comes.
bool readUpTo(std::istream& is, char delimiter, std::string& text) {
  std::getline(is, text, delimiter);
  return input_success(is) && !is.eof();
}

// The decimal arc at the start of digits (what follows it is ignored);
// false for one beyond 32 bits, which an arc cannot hold.
bool readArc(const char* digits, unsigned& arc) {
  errno = 0;
  const unsigned long long n = std::strtoull(digits, nullptr, 10);
  if (errno == ERANGE || n > UINT_MAX) return false;
  arc = unsigned(n);
  return true;
}

// Reads a number into [lo, hi].
bool readNumber(std::istream& is, long long lo, long long hi, long long& value) {
  is >> value;
  if (!input_success(is)) return false;
  if (value < lo || value > hi) {
    is.setstate(std::ios_base::failbit);
    return false;
  }
  return true;
}

}  // namespace

bool input_success(std::istream& is) { return !is.fail(); }

bool get_word(std::istream& is, std::string& word) {
  word.clear();
  is >> std::ws;
  const int first = is.peek();
  if (first == std::char_traits<char>::eof()) return false;
  if (first == ',' || first == '}') {
    word += char(is.get());
    return true;
  }
  for (int c = is.peek(); c != std::char_traits<char>::eof() && !isBlank(c) && c != ',' && c != '}';
       c = is.peek())
    word += char(is.get());
  return true;
}

bool get_string(std::istream& is, std::string& text) {
  return expect(is, '"') && readUpTo(is, '"', text);
}

bool get_value_from(std::istream& is, std::vector<char>& bytes, unsigned& bits) {
  std::string digits;
  char kind;
  if (!expect(is, '\'') || !readUpTo(is, '\'', digits) || !nextChar(is, kind)) return false;
  unsigned count;
  if (kind == 'B') {
    if (!get_from_bstring(digits, bytes, count)) return false;
    bits = count;
    return true;
  }
  if (kind == 'H') {
    if (!get_from_hstring(digits, bytes, count)) return false;
    bits = 4 * count;
    return true;
  }
  return false;
}

bool AVNDecoder::do_visit(Null&) {
  std::string word;
  return get_letters(strm_, word) && word == "NULL";
}

bool AVNDecoder::do_visit(BOOLEAN& v) {
  std::string word;
  if (!get_letters(strm_, word)) return false;
  if (word == "TRUE")
    v = true;
  else if (word == "FALSE")
    v = false;
  else
    return false;
  return true;
}

bool AVNDecoder::do_visit(INTEGER& v) {
  long long value;
  const bool asUnsigned = v.constrained() && v.getLowerLimit() >= 0;
  if (!readNumber(strm_, asUnsigned ? 0 : INT_MIN, asUnsigned ? UINT_MAX : INT_MAX, value)) return false;
  v.setValue(int(static_cast<unsigned>(value)));
  return true;
}

bool AVNDecoder::do_visit(IntegerWithNamedNumber& v) {
  strm_ >> std::ws;
  const int c = strm_.peek();
  if (std::isdigit(c) != 0 || c == '-') return do_visit(static_cast<INTEGER&>(v));
  std::string word;
  return get_word(strm_, word) && v.setFromName(word);
}

bool AVNDecoder::do_visit(ENUMERATED& v) {
  std::string word;
  return get_word(strm_, word) && v.setFromName(word);
}

bool AVNDecoder::do_visit(OBJECT_IDENTIFIER& v) {
  std::string text;
  if (!expect(strm_, '{') || !readUpTo(strm_, '}', text)) return false;
  v.clear();
  std::istringstream arcs(text);
  std::string word;
  while (arcs >> word) {
    unsigned arc;
    if (std::isdigit(static_cast<unsigned char>(word[0])) != 0) {
      if (!readArc(word.c_str(), arc)) return false;
      v.append(arc);
      continue;
    }
    // A name form: "name(number)" gives the number; a bare name adds
    // nothing and takes the next character with it.
    const std::string::size_type open = word.find('(');
    if (open != std::string::npos && open + 1 < word.size() &&
        std::isdigit(static_cast<unsigned char>(word[open + 1])) != 0) {
      if (!readArc(word.c_str() + open + 1, arc)) return false;
      v.append(arc);
      continue;
    }
    char c;
    if (!(arcs >> c)) return false;
  }
  return true;
}

bool AVNDecoder::do_visit(OCTET_STRING& v) {
  unsigned bits;
  v.clear();
  return get_value_from(strm_, v, bits);
}

bool AVNDecoder::do_visit(BIT_STRING& v) {
  std::vector<char> bytes;
  unsigned bits;
  if (!get_value_from(strm_, bytes, bits)) return false;
  v.getData().swap(bytes);
  v.resize(bits);
  return true;
}

bool AVNDecoder::do_visit(AbstractString& v) {
  std::string text;
  if (!get_string(strm_, text)) return false;
  v.assign(text);
  return true;
}

bool AVNDecoder::do_visit(BMPString& v) {
  std::string text;
  if (!get_string(strm_, text)) return false;
  // The process runs in the POSIX locale, which converts 0x00..0x7F only.
  std::wstring wide;
  for (char c : text) {
    if (static_cast<unsigned char>(c) > 0x7F) return false;
    wide += wchar_t(c);
  }
  v.std::wstring::assign(wide);
  return true;
}

bool AVNDecoder::do_visit(CHOICE& v) {
  std::string name;
  int index;
  if (!get_word(strm_, name) || !expect(strm_, ':')) return false;
  if (!get_id(v.info()->selectionNames, v.info()->totalChoices, name, index)) return false;
  return v.select(index) && v.getSelection() != nullptr && v.getSelection()->accept(*this);
}

bool AVNDecoder::do_visit(SEQUENCE_OF_Base& v) {
  char c;
  if (!expect(strm_, '{') || !nextChar(strm_, c)) return false;
  v.clear();
  if (c == '}') return true;
  strm_.putback(c);
  for (;;) {
    AbstractData* element = v.createElement();
    if (element == nullptr) return false;
    if (!element->accept(*this) || !nextChar(strm_, c)) {
      delete element;
      return false;
    }
    v.push_back(element);
    if (c == '}') return true;
    if (c != ',') return false;
  }
}

bool AVNDecoder::do_visit(OpenData&) { return false; }
bool AVNDecoder::do_revisit(OpenData&) { return false; }

bool AVNDecoder::do_visit(TypeConstrainedOpenData& v) {
  if (!v.has_data()) {
    AbstractData* data = AbstractData::create(v.info()->valueInfo);
    if (data == nullptr) return false;
    v.grab_data(data);
  }
  return v.get_data().accept(*this);
}

bool AVNDecoder::do_visit(GeneralizedTime& v) {
  std::string text;
  return get_string(strm_, text) && v.set(text.c_str());
}

int AVNDecoder::preVisitExtensionRoots(SEQUENCE&) {
  char c;
  if (!expect(strm_, '{') || !nextChar(strm_, c)) return 0;
  if (c == '}') return 1;
  strm_.putback(c);
  std::string name;
  if (!get_word(strm_, name)) return 0;
  names_.push_back(name);
  return 3;
}

int AVNDecoder::visitExtensionRoot(SEQUENCE& v, int index, int optionalId) {
  if (names_.back() != v.getFieldName(unsigned(index))) return optionalId >= 0 ? 3 : 0;
  AbstractData* field = optionalId >= 0 ? v.includeOptionalField(unsigned(optionalId), unsigned(index))
                                        : v.getField(unsigned(index));
  char c;
  if (field == nullptr || !field->accept(*this) || !nextChar(strm_, c)) return 0;
  if (c == ',') return get_word(strm_, names_.back()) ? 3 : 0;
  if (c != '}') return 0;
  names_.pop_back();
  return 1;
}

int AVNDecoder::visitKnownExtension(SEQUENCE& v, int index, int optionalId) {
  return visitExtensionRoot(v, index, optionalId);
}

int AVNDecoder::visitUnknownExtensions(SEQUENCE&) {
  // Reached with a name left over: only a "," right before the "}" is fine.
  if (names_.back() != "}") return 0;
  names_.pop_back();
  return 1;
}

std::ios_base::iostate AbstractData::get_from(std::istream& is) {
  AVNDecoder reader(is, nullptr);
  return accept(reader) ? std::ios_base::goodbit : std::ios_base::failbit;
}

bool AbstractData::setFromValueNotation(const std::string& text) {
  std::istringstream is(text);
  AVNDecoder reader(is, nullptr);
  // The text is one value: anything but white space after it is refused,
  // not dropped ("a"b" is no string a).
  return accept(reader) && (is >> std::ws).eof();
}

std::istream& g_extractor(std::istream& is, AbstractData& value) {
  if (!is.good()) return is;
  ExtractorWrapper<char, std::char_traits<char>, AbstractData> wrapper(is, value);
  wrapper.do_it(is);
  return is;
}

std::istream& operator>>(std::istream& is, AbstractData& value) {
  if (!is.good()) return is;
  return g_extractor(is, value);
}

}  // namespace ASN1
