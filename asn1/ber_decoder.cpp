#include "asn1/ber_decoder.h"

#include <cstddef>

#include "asn1/asn1.h"

namespace ASN1 {

namespace {

// Restores the stack of ends when a nested read leaves early (a failed
// SEQUENCE does not pop its own end).
class EndsGuard {
 public:
  explicit EndsGuard(std::vector<const char*>& ends) : ends_(ends), depth_(ends.size()) {}
  ~EndsGuard() { ends_.resize(depth_); }

 private:
  std::vector<const char*>& ends_;
  std::size_t depth_;
};

}  // namespace

BERDecoder::BERDecoder(const char* begin, const char* end, CoderEnv* env)
    : Visitor(env), position_(begin), end_(end), credit_(0) {}

int BERDecoder::decodeByte() {
  if (position_ >= limit()) return -1;
  return static_cast<unsigned char>(*position_++);
}

unsigned BERDecoder::decodeBlock(char* out, unsigned n) {
  const std::size_t left = position_ < limit() ? std::size_t(limit() - position_) : 0;
  if (n > left) n = unsigned(left);
  for (unsigned i = 0; i < n; ++i) out[i] = position_[i];
  position_ += n;
  return n;
}

bool BERDecoder::decodeHeader(unsigned& tag, bool& primitive, unsigned& length) {
  int b = decodeByte();
  if (b < 0) return false;
  primitive = (b & 0x20) == 0;
  unsigned number = unsigned(b) & 31u;
  if (number == 31) {
    number = 0;
    int next;
    do {
      next = decodeByte();
      // Tag words hold 16-bit numbers.
      if (next < 0 || number > (0xFFFFu >> 7)) return false;
      number = (number << 7) | (unsigned(next) & 0x7Fu);
    } while ((next & 0x80) != 0);
  }
  tag = ((unsigned(b) & 0xC0u) << 16) | number;
  b = decodeByte();
  if (b < 0) return false;
  if (b < 0x80) {
    length = unsigned(b);
  } else {
    // 0x80 is the indefinite length, which this decoder does not read.
    const unsigned n = unsigned(b) & 0x7Fu;
    if (n == 0 || n > 4) return false;
    length = 0;
    for (unsigned i = 0; i < n; ++i) {
      b = decodeByte();
      if (b < 0) return false;
      length = (length << 8) | unsigned(b);
    }
  }
  // Compared, never added: position + length can wrap on a 32-bit board.
  return length <= std::size_t(limit() - position_);
}

bool BERDecoder::decodeHeader(AbstractData& value, unsigned& length) {
  PrimitiveChecker primitive;
  return decodeHeader(value, !value.accept(primitive), length);
}

bool BERDecoder::decodeHeader(AbstractData& value, bool constructed, unsigned& length) {
  const char* start = position_;
  unsigned tag;
  bool primitive;
  if (decodeHeader(tag, primitive, length) && primitive != constructed &&
      (tag == value.getTag() || credit_ > 0)) {
    credit_ = 0;
    return true;
  }
  position_ = start;
  return false;
}

bool BERDecoder::contentsOf(AbstractData& value, const char*& contents, unsigned& length) {
  if (!decodeHeader(value, false, length)) return false;
  contents = position_;
  position_ += length;
  return true;
}

bool BERDecoder::decodeNumber(AbstractData& value, bool unsigned32, int& out) {
  const char* c;
  unsigned length;
  if (!contentsOf(value, c, length) || length == 0) return false;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(c);
  const bool negative = (p[0] & 0x80u) != 0;
  if (unsigned32) {
    // Below the range's 0: no number of this type (a negative int stored
    // here would read as 2^32 minus it).
    if (negative) return false;
    // A number from 2^31 up behind its 0 sign octet.
    if (length == 5 && p[0] == 0) {
      ++p;
      --length;
    }
  }
  if (length > 4) return false;
  unsigned v = negative ? 0xFFFFFFFFu : 0u;
  for (unsigned i = 0; i < length; ++i) v = (v << 8) | p[i];
  out = int(v);
  return true;
}

bool BERDecoder::do_visit(Null& v) {
  const char* c;
  unsigned length;
  return contentsOf(v, c, length);
}

bool BERDecoder::do_visit(BOOLEAN& v) {
  const char* c;
  unsigned length;
  if (!contentsOf(v, c, length) || length == 0) return false;
  v = c[length - 1] != 0;
  return true;
}

bool BERDecoder::do_visit(INTEGER& v) {
  int value;
  if (!decodeNumber(v, holdsUnsigned32(v), value)) return false;
  v.setValue(value);
  return true;
}

bool BERDecoder::do_visit(ENUMERATED& v) {
  // Two's complement like INTEGER: negative enumerators come back negative.
  int value;
  if (!decodeNumber(v, false, value)) return false;
  v.setFromInt(value);
  return true;
}

bool BERDecoder::do_visit(OBJECT_IDENTIFIER& v) {
  const char* c;
  unsigned length;
  return contentsOf(v, c, length) && v.decodeCommon(c, length);
}

bool BERDecoder::do_visit(OCTET_STRING& v) {
  const char* c;
  unsigned length;
  if (!contentsOf(v, c, length)) return false;
  v.assign(c, c + length);
  return true;
}

bool BERDecoder::do_visit(BIT_STRING& v) {
  const char* c;
  unsigned length;
  if (!contentsOf(v, c, length) || length == 0) return false;
  const unsigned unused = static_cast<unsigned char>(c[0]);
  // More than 7 unused bits would make the size wrap below zero.
  if (unused > 7 || (length == 1 && unused != 0)) return false;
  const unsigned size = (length - 1) * 8 - unused;
  v.resize(size);
  std::vector<char>& bits = v.getData();
  for (unsigned i = 0; i + 1 < length; ++i) bits[i] = c[i + 1];
  // The unused bits are not part of the value.
  if (unused != 0) bits[length - 2] = char(static_cast<unsigned char>(bits[length - 2]) & (0xFFu << unused));
  return true;
}

bool BERDecoder::do_visit(AbstractString& v) {
  const char* c;
  unsigned length;
  if (!contentsOf(v, c, length)) return false;
  v.std::string::assign(c, length);
  return true;
}

bool BERDecoder::do_visit(BMPString& v) {
  const char* c;
  unsigned length;
  if (!contentsOf(v, c, length) || length % 2 != 0) return false;
  std::wstring text(length / 2, L'\0');
  const unsigned char* p = reinterpret_cast<const unsigned char*>(c);
  for (unsigned i = 0; i < length / 2; ++i) text[i] = wchar_t((p[2 * i] << 8) | p[2 * i + 1]);
  v.std::wstring::assign(text);
  return true;
}

bool BERDecoder::do_visit(GeneralizedTime& v) {
  const char* c;
  unsigned length;
  if (!contentsOf(v, c, length)) return false;
  return v.set(std::string(c, length).c_str());
}

bool BERDecoder::do_visit(CHOICE& v) {
  EndsGuard guard(ends_);
  const char* start = position_;
  unsigned tag, length;
  bool primitive;
  if (!decodeHeader(tag, primitive, length)) return false;
  const char* end = position_ + length;
  if (credit_ != 0 || v.getTag() != 0) {
    // That was the CHOICE's own (explicit) tag around the alternative.
    if (primitive) return false;
    credit_ = 0;
    ends_.push_back(end);
    start = position_;
    if (!decodeHeader(tag, primitive, length)) return false;
  }
  position_ = start;
  // Automatic tags number the alternatives in the context class.
  if (v.info()->selectionTags == nullptr && (tag >> 16) != 0x80u) return false;
  if (!v.setID(tag & 0xFFFFu, tag >> 16) || v.getSelection() == nullptr) return false;
  credit_ = v.getSelectionTag() != 0 ? 1 : 0;
  if (!v.getSelection()->accept(*this)) return false;
  credit_ = 0;
  position_ = end;
  return true;
}

bool BERDecoder::do_visit(SEQUENCE_OF_Base& v) {
  v.clear();
  unsigned length;
  if (!decodeHeader(v, true, length)) return false;
  EndsGuard guard(ends_);
  const char* end = position_ + length;
  ends_.push_back(end);
  while (position_ < end) {
    AbstractData* element = v.createElement();
    if (element == nullptr) return false;
    const char* before = position_;
    credit_ = 0;
    if (!element->accept(*this) || position_ == before) {
      delete element;
      return false;
    }
    v.push_back(element);
  }
  return true;
}

bool BERDecoder::do_visit(OpenData& v) {
  // The contents of a tagged open type are the held value's whole encoding;
  // an untagged one is that encoding itself.
  const char* from = position_;
  unsigned length;
  if (v.getTag() != 0 || credit_ != 0) {
    if (!decodeHeader(v, true, length)) return false;
    from = position_;
  } else {
    unsigned tag;
    bool primitive;
    if (!decodeHeader(tag, primitive, length)) return false;
  }
  const char* end = position_ + length;
  position_ = end;
  if (!v.has_buf()) v.grab(new std::vector<char>);
  v.get_buf().assign(from, end);
  return !v.has_data() || do_revisit(v);
}

bool BERDecoder::do_revisit(OpenData& v) {
  if (!v.has_buf() || !v.has_data()) return false;
  const std::vector<char>& buf = v.get_buf();
  BERDecoder decoder(buf.data(), buf.data() + buf.size(), get_env());
  return v.get_data().accept(decoder);
}

bool BERDecoder::do_visit(TypeConstrainedOpenData& v) {
  if (!v.has_data()) {
    AbstractData* data = AbstractData::create(v.info()->valueInfo);
    if (data == nullptr) return false;
    v.grab_data(data);
  }
  return do_visit(static_cast<OpenData&>(v));
}

int BERDecoder::preVisitExtensionRoots(SEQUENCE& v) {
  unsigned length;
  if (!decodeHeader(v, true, length)) return 0;
  ends_.push_back(position_ + length);
  return 3;
}

int BERDecoder::visitExtensionRoot(SEQUENCE& v, int index, int optionalId) {
  const bool optional = optionalId >= 0;
  if (position_ >= limit()) return optional ? 3 : 0;
  const char* start = position_;
  unsigned tag, length;
  bool primitive;
  if (!decodeHeader(tag, primitive, length)) return 0;
  position_ = start;
  const unsigned fieldTag = v.getFieldTag(unsigned(index));
  // Another field's tag: this one is absent, which only an optional field
  // may be.
  if (fieldTag != 0 && tag != fieldTag) return optional ? 3 : 0;
  AbstractData* field =
      optional ? v.includeOptionalField(unsigned(optionalId), unsigned(index)) : v.getField(unsigned(index));
  if (field == nullptr) return optional ? 3 : 0;
  // Only a tag of the field's own stands in for the value's: an untagged
  // field (a 0 in a tag table) is written under its type's tags alone, and
  // an untagged CHOICE there has no header of its own to skip.
  credit_ = v.tagMode() != 2 && fieldTag != 0 ? 1 : 0;
  bool ok;
  {
    EndsGuard guard(ends_);
    ok = field->accept(*this);
  }
  credit_ = 0;
  if (ok) return 3;
  if (!optional) return 0;
  v.removeOptionalField(unsigned(optionalId));
  if (fieldTag != 0) return 0;
  position_ = start;
  return 3;
}

int BERDecoder::visitKnownExtension(SEQUENCE& v, int index, int optionalId) {
  return visitExtensionRoot(v, index, optionalId);
}

int BERDecoder::visitUnknownExtensions(SEQUENCE&) {
  // Whatever is left in the SEQUENCE belongs to additions this side does not
  // know.
  position_ = ends_.back();
  ends_.pop_back();
  return 1;
}

}  // namespace ASN1
