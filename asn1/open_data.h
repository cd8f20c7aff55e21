// Open types: a decoded value of the contained type and/or its raw encoding.
// No message type of the system contains one; the coders still handle them.
#ifndef ASN1_OPEN_DATA_H
#define ASN1_OPEN_DATA_H

#include <vector>

#include "asn1/abstract_data.h"

namespace ASN1 {

class OpenData : public AbstractData, public detail::Allocator<OpenData> {
 public:
  static const InfoType theInfo;

  explicit OpenData(const InfoType* info = &theInfo) : AbstractData(info), data_(nullptr), buf_(nullptr) {}
  // Takes ownership of data.
  OpenData(AbstractData* data, const InfoType* info) : AbstractData(info), data_(data), buf_(nullptr) {}
  OpenData(const OpenData& other);
  OpenData& operator=(const OpenData& other);
  ~OpenData() override;
  void swap(OpenData& other);

  static AbstractData* create(const TypeInfo* info);

  bool has_data() const { return data_ != nullptr; }
  // REQUIRES: has_data().
  AbstractData& get_data() { return *data_; }
  const AbstractData& get_data() const { return *data_; }
  bool has_buf() const { return buf_ != nullptr; }
  // REQUIRES: has_buf().
  std::vector<char>& get_buf() { return *buf_; }
  const std::vector<char>& get_buf() const { return *buf_; }
  // Takes ownership of buf as the raw bytes (the old bytes are deleted).
  void grab(std::vector<char>* buf);
  // Takes ownership of data as the value (the old value is deleted).
  void grab_data(AbstractData* data);
  bool isEmpty() const { return data_ == nullptr && buf_ == nullptr; }
  // The checks of constraint_checker.h for this value with its contents.
  bool isValid() const { return AbstractData::isValid(); }
  bool isStrictlyValid() const { return AbstractData::isStrictlyValid(); }

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;

 private:
  AbstractData* data_;
  std::vector<char>* buf_;
};

// An open type whose contained type is fixed by its descriptor.
class TypeConstrainedOpenData : public OpenData {
 public:
  struct InfoType : TypeInfo {
    const TypeInfo* valueInfo;
  };

  // Holds a new default value of the descriptor's value type, which the
  // decoders read into.
  explicit TypeConstrainedOpenData(const InfoType* info);
  // Takes ownership of data.
  TypeConstrainedOpenData(AbstractData* data, const InfoType* info) : OpenData(data, info) {}
  TypeConstrainedOpenData(const TypeConstrainedOpenData&) = default;
  TypeConstrainedOpenData& operator=(const TypeConstrainedOpenData&) = default;

  static AbstractData* create(const TypeInfo* info);
  const InfoType* info() const { return static_cast<const InfoType*>(AbstractData::info()); }

 protected:
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;
};

}  // namespace ASN1

#endif
