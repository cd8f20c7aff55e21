#include "asn1/ber_encoder.h"

#include "asn1/asn1.h"
#include "asn1/constraint_checker.h"

namespace ASN1 {

namespace {

// Base-128 groups of a tag number of 31 or more.
unsigned numberOctets(unsigned number) {
  unsigned n = 1;
  while (number >>= 7) ++n;
  return n;
}

bool isPrimitive(const AbstractData& value) {
  PrimitiveChecker checker;
  return value.accept(checker);
}

}  // namespace

unsigned tagOctets(unsigned tag) {
  const unsigned number = tag & 0xFFFFu;
  return number < 31 ? 1 : 1 + numberOctets(number);
}

unsigned lengthOctets(unsigned length) {
  unsigned n = 1;
  if (length > 127)
    for (unsigned rest = length; rest != 0; rest >>= 8) ++n;
  return n;
}

BEREncoder::BEREncoder(std::vector<char>& out) : out_(out), tag_(kOwnTag) {
  out_.clear();
  out_.reserve(256);
}

void BEREncoder::writeHeader(unsigned tag, bool constructed, unsigned length) {
  const unsigned cls = (tag >> 16) & 0xC0u;
  const unsigned number = tag & 0xFFFFu;
  const unsigned form = constructed ? 0x20u : 0u;
  if (number < 31) {
    encodeByte(cls | form | number);
  } else {
    encodeByte(cls | form | 31u);
    for (unsigned i = numberOctets(number); i > 0; --i)
      encodeByte(((number >> (7 * (i - 1))) & 0x7Fu) | (i > 1 ? 0x80u : 0u));
  }
  if (length <= 127) {
    encodeByte(length);
    return;
  }
  const unsigned n = lengthOctets(length) - 1;
  encodeByte(0x80u | n);
  for (unsigned i = n; i > 0; --i) encodeByte((length >> (8 * (i - 1))) & 0xFFu);
}

void BEREncoder::encodeHeader(const AbstractData& value) {
  // A field without a tag of its own (tag word 0) keeps its type's tag.
  const unsigned tag = tag_ == kOwnTag || tag_ == 0 ? value.getTag() : tag_;
  tag_ = kOwnTag;
  writeHeader(tag, !isPrimitive(value), unsigned(getDataLength(value)));
}

bool holdsUnsigned32(const INTEGER& value) {
  return value.constrained() && value.getLowerLimit() >= 0 && value.getUpperLimit() > 0x7FFFFFFFu;
}

unsigned getIntegerContentsLength(const INTEGER& value) {
  if (holdsUnsigned32(value) && value.getValue() < 0) return 5;
  return getIntegerDataLength(value.getValue());
}

// The low `octets` octets of value, most significant first; a fifth octet
// is the 0 before an unsigned 32-bit number.
void BEREncoder::encodeNumber(unsigned value, unsigned octets) {
  for (unsigned i = octets; i > 0; --i) encodeByte(i > 4 ? 0u : (value >> (8 * (i - 1))) & 0xFFu);
}

bool BEREncoder::do_visit(const Null& v) {
  encodeHeader(v);
  return true;
}

bool BEREncoder::do_visit(const BOOLEAN& v) {
  encodeHeader(v);
  encodeByte(v ? 0xFF : 0x00);
  return true;
}

bool BEREncoder::do_visit(const INTEGER& v) {
  encodeHeader(v);
  encodeNumber(unsigned(v.getValue()), getIntegerContentsLength(v));
  return true;
}

bool BEREncoder::do_visit(const ENUMERATED& v) {
  encodeHeader(v);
  encodeNumber(unsigned(v.asInt()), getIntegerDataLength(v.asInt()));
  return true;
}

bool BEREncoder::do_visit(const OBJECT_IDENTIFIER& v) {
  encodeHeader(v);
  std::vector<char> contents;
  v.encodeCommon(contents);
  encodeBlock(contents.data(), unsigned(contents.size()));
  return true;
}

bool BEREncoder::do_visit(const BIT_STRING& v) {
  encodeHeader(v);
  encodeByte((8 - v.size() % 8) % 8);
  encodeBlock(v.getData().data(), (v.size() + 7) / 8);
  return true;
}

bool BEREncoder::do_visit(const OCTET_STRING& v) {
  encodeHeader(v);
  encodeBlock(v.data(), unsigned(v.size()));
  return true;
}

bool BEREncoder::do_visit(const AbstractString& v) {
  encodeHeader(v);
  encodeBlock(v.data(), unsigned(v.size()));
  return true;
}

bool BEREncoder::do_visit(const BMPString& v) {
  encodeHeader(v);
  for (wchar_t c : static_cast<const std::wstring&>(v)) {
    encodeByte((unsigned(c) >> 8) & 0xFFu);
    encodeByte(unsigned(c) & 0xFFu);
  }
  return true;
}

bool BEREncoder::do_visit(const GeneralizedTime& v) {
  encodeHeader(v);
  const std::string text = v.get();
  encodeBlock(text.data(), unsigned(text.size()));
  return true;
}

bool BEREncoder::do_visit(const CHOICE& v) {
  if (v.currentSelection() < 0 || v.getSelection() == nullptr) return false;
  const unsigned tag = tag_ == kOwnTag ? v.getTag() : tag_;
  if (tag != 0) writeHeader(tag, true, unsigned(getDataLength(v)));
  tag_ = v.getSelectionTag();
  return v.getSelection()->accept(*this);
}

bool BEREncoder::do_visit(const OpenData& v) {
  const unsigned tag = tag_ == kOwnTag ? v.getTag() : tag_;
  tag_ = kOwnTag;
  if (v.isEmpty()) return false;
  if (tag != 0) writeHeader(tag, true, unsigned(getDataLength(v)));
  if (v.has_data()) return v.get_data().accept(*this);
  encodeBlock(v.get_buf().data(), unsigned(v.get_buf().size()));
  return true;
}

bool BEREncoder::do_visit(const SEQUENCE_OF_Base& v) {
  encodeHeader(v);
  for (const AbstractData* element : v) {
    tag_ = kOwnTag;
    if (!element->accept(*this)) return false;
  }
  return true;
}

bool BEREncoder::preVisitExtensionRoots(const SEQUENCE& v) {
  encodeHeader(v);
  return true;
}

bool BEREncoder::encodeField(const SEQUENCE& v, int index) {
  const AbstractData* field = v.getField(unsigned(index));
  if (field == nullptr) return false;
  tag_ = v.getFieldTag(unsigned(index));
  return field->accept(*this);
}

bool BEREncoder::visitExtensionRoot(const SEQUENCE& v, int index) { return encodeField(v, index); }
bool BEREncoder::visitKnownExtension(const SEQUENCE& v, int index) { return encodeField(v, index); }

// ---------------------------------------------------------------- lengths

int DataLengthCounter::getObjectLen(unsigned tag) const {
  return int(tagOctets(tag) + lengthOctets(length_) + length_);
}

bool DataLengthCounter::do_visit(const Null&) { return true; }

bool DataLengthCounter::do_visit(const BOOLEAN&) {
  length_ += 1;
  return true;
}

bool DataLengthCounter::do_visit(const INTEGER& v) {
  length_ += getIntegerContentsLength(v);
  return true;
}

bool DataLengthCounter::do_visit(const ENUMERATED& v) {
  length_ += getIntegerDataLength(v.asInt());
  return true;
}

bool DataLengthCounter::do_visit(const OBJECT_IDENTIFIER& v) {
  std::vector<char> contents;
  v.encodeCommon(contents);
  length_ += unsigned(contents.size());
  return true;
}

bool DataLengthCounter::do_visit(const BIT_STRING& v) {
  length_ += (v.size() + 7) / 8 + 1;
  return true;
}

bool DataLengthCounter::do_visit(const OCTET_STRING& v) {
  length_ += unsigned(v.size());
  return true;
}

bool DataLengthCounter::do_visit(const AbstractString& v) {
  length_ += unsigned(v.size());
  return true;
}

bool DataLengthCounter::do_visit(const BMPString& v) {
  length_ += 2 * unsigned(v.size());
  return true;
}

bool DataLengthCounter::do_visit(const GeneralizedTime& v) {
  length_ += unsigned(v.get().size());
  return true;
}

bool DataLengthCounter::do_visit(const CHOICE& v) {
  if (v.currentSelection() >= 0 && v.getSelection() != nullptr)
    length_ += unsigned(getObjectLength(*v.getSelection(), v.getSelectionTag()));
  return true;
}

bool DataLengthCounter::do_visit(const OpenData& v) {
  if (v.has_data())
    length_ += unsigned(getObjectLength(v.get_data(), kOwnTag));
  else if (v.has_buf())
    length_ += unsigned(v.get_buf().size());
  return true;
}

bool DataLengthCounter::do_visit(const SEQUENCE_OF_Base& v) {
  for (const AbstractData* element : v) length_ += unsigned(getObjectLength(*element, kOwnTag));
  return true;
}

bool DataLengthCounter::preVisitExtensionRoots(const SEQUENCE&) { return true; }

bool DataLengthCounter::visitExtensionRoot(const SEQUENCE& v, int index) {
  const AbstractData* field = v.getField(unsigned(index));
  if (field != nullptr) length_ += unsigned(getObjectLength(*field, v.getFieldTag(unsigned(index))));
  return true;
}

bool DataLengthCounter::visitKnownExtension(const SEQUENCE& v, int index) {
  return visitExtensionRoot(v, index);
}

int getDataLength(const AbstractData& value) {
  DataLengthCounter counter;
  value.accept(counter);
  return int(counter.getDataLen());
}

int getObjectLength(const AbstractData& value, unsigned tag) {
  DataLengthCounter counter;
  value.accept(counter);
  if (tag == kOwnTag) tag = value.getTag();
  // A CHOICE or open type without a tag adds no header of its own.
  if (tag == 0 && (dynamic_cast<const CHOICE*>(&value) != nullptr ||
                   dynamic_cast<const OpenData*>(&value) != nullptr))
    return int(counter.getDataLen());
  return counter.getObjectLen(tag == 0 ? value.getTag() : tag);
}

}  // namespace ASN1
