#include "asn1/open_data.h"

#include <algorithm>

#include "asn1/visitor.h"

namespace ASN1 {

const OpenData::InfoType OpenData::theInfo = {&OpenData::create, 0};

OpenData::OpenData(const OpenData& other)
    : AbstractData(other),
      data_(other.data_ != nullptr ? other.data_->clone() : nullptr),
      buf_(other.buf_ != nullptr ? new std::vector<char>(*other.buf_) : nullptr) {}

OpenData& OpenData::operator=(const OpenData& other) {
  if (this != &other) {
    OpenData copy(other);
    swap(copy);
  }
  return *this;
}

OpenData::~OpenData() {
  delete data_;
  delete buf_;
}

void OpenData::swap(OpenData& other) {
  std::swap(data_, other.data_);
  std::swap(buf_, other.buf_);
}

AbstractData* OpenData::create(const TypeInfo* info) { return new OpenData(info); }

void OpenData::grab(std::vector<char>* buf) {
  if (buf == buf_) return;
  delete buf_;
  buf_ = buf;
}

void OpenData::grab_data(AbstractData* data) {
  if (data == data_) return;
  delete data_;
  data_ = data;
}

int OpenData::do_compare(const AbstractData& otherData) const {
  const OpenData& other = static_cast<const OpenData&>(otherData);
  if (data_ != nullptr && other.data_ != nullptr) return data_->compare(*other.data_);
  if (buf_ != nullptr && other.buf_ != nullptr)
    return lexicographic_compare_bytes(buf_->data(), buf_->data() + buf_->size(), other.buf_->data(),
                                       other.buf_->data() + other.buf_->size());
  if (!(isEmpty() && other.isEmpty())) return data_ != nullptr ? 1 : -1;
  return 0;
}

AbstractData* OpenData::do_clone() const { return new OpenData(*this); }

bool OpenData::do_accept(Visitor& v) { return v.visit(*this); }
bool OpenData::do_accept(ConstVisitor& v) const { return v.visit(*this); }

TypeConstrainedOpenData::TypeConstrainedOpenData(const InfoType* info)
    : OpenData(AbstractData::create(info->valueInfo), info) {}

AbstractData* TypeConstrainedOpenData::create(const TypeInfo* info) {
  return new TypeConstrainedOpenData(static_cast<const InfoType*>(info));
}

AbstractData* TypeConstrainedOpenData::do_clone() const { return new TypeConstrainedOpenData(*this); }

bool TypeConstrainedOpenData::do_accept(Visitor& v) { return v.visit(*this); }
bool TypeConstrainedOpenData::do_accept(ConstVisitor& v) const {
  return v.visit(static_cast<const OpenData&>(*this));
}

}  // namespace ASN1
