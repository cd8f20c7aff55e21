// ASN1::SEQUENCE: one class for every record type.
//
// Layout, optional-field numbering and names come from the descriptor.
// Presence numbers: optional root fields carry 0..numOptional-1 in
// declaration order (their fieldIds entries); extension addition k carries
// numOptional + k, which is bit k of the extension map. All presence
// operations take this one number.
#ifndef ASN1_SEQUENCE_H
#define ASN1_SEQUENCE_H

#include "asn1/abstract_data.h"

namespace ASN1 {

class SEQUENCE : public AbstractData, public detail::Allocator<SEQUENCE> {
 public:
  struct InfoType : TypeInfo {
    bool extendable;
    // Root fields in declaration order, then the extension additions.
    const TypeInfo* const* fieldInfos;
    // Per field: -1 mandatory root field, else the optional field's bit;
    // extension additions 0 (unused).
    const int* fieldIds;
    unsigned numRootFields;
    unsigned numExtensions;  // known extension additions
    unsigned numOptional;    // bits of the option map
    // Null, or (numExtensions + 7) / 8 bytes initialising a new value's
    // extension map.
    const char* initialExtensions;
    // Null (automatic tagging), &SEQUENCE::defaultTag, or one tag word per field.
    const unsigned* fieldTags;
    const char* const* fieldNames;
  };

  // A bit map, most significant bit first: bit i is in byte i / 8 under
  // 0x80 >> (i % 8), the layout the PER coders read and write directly.
  // Maps of up to 64 bits (every option map of the message modules) live in
  // the object; longer ones on the heap. The stored bytes past the map's
  // size are always 0.
  class BitMap {
   public:
    BitMap() : size_(0), capacity_(kInlineBytes), heap_(nullptr) { clearInline(); }
    BitMap(const BitMap& other);
    BitMap& operator=(const BitMap& other);
    ~BitMap() { delete[] heap_; }

    unsigned size() const { return size_; }
    void resize(unsigned n) {
      // Growing within the storage needs nothing more: the bytes past the
      // map are kept 0.
      if (n >= size_ && n <= capacity_ * 8)
        size_ = n;
      else
        resizeStorage(n);
    }
    bool operator[](unsigned i) const {
      return i < size_ && (static_cast<unsigned char>(data()[i >> 3]) & (0x80u >> (i & 7))) != 0;
    }
    void set(unsigned i);
    void clear(unsigned i);
    bool any() const;
    void swap(BitMap& other);
    // The (size() + 7) / 8 bytes of the map.
    char* data() { return heap_ != nullptr ? heap_ : inline_; }
    const char* data() const { return heap_ != nullptr ? heap_ : inline_; }
    unsigned byteCount() const { return (size_ + 7) / 8; }

   private:
    static const unsigned kInlineBytes = 8;
    void resizeStorage(unsigned n);
    void clearInline() {
      for (unsigned i = 0; i < kInlineBytes; ++i) inline_[i] = 0;
    }

    unsigned size_;      // bits
    unsigned capacity_;  // bytes that data() holds
    char* heap_;         // null while the map fits inline_
    char inline_[kInlineBytes];
  };

  static const unsigned defaultTag;

  explicit SEQUENCE(const InfoType* info);
  SEQUENCE(const SEQUENCE& other);
  SEQUENCE& operator=(const SEQUENCE& other);
  ~SEQUENCE() override;
  void swap(SEQUENCE& other);

  static AbstractData* create(const TypeInfo* info);

  const InfoType* info() const { return static_cast<const InfoType*>(AbstractData::info()); }
  bool extendable() const { return info()->extendable; }

  // Number of field slots (root fields and known extension additions).
  unsigned getNumFields() const { return numFields_; }
  // The value at a field index, possibly null (not yet created).
  AbstractData* getField(unsigned index) { return index < numFields_ ? fields_[index] : nullptr; }
  const AbstractData* getField(unsigned index) const {
    return index < numFields_ ? fields_[index] : nullptr;
  }
  const char* getFieldName(unsigned index) const { return info()->fieldNames[index]; }

  bool hasOptionalField(unsigned number) const {
    const unsigned numOptional = info()->numOptional;
    if (number < numOptional) return optionMap_[number];
    return extensionMap_[number - numOptional];
  }
  // Marks the field present (growing the extension map for an extension
  // number beyond it) and creates its default value when the slot is empty;
  // a value already there stays. Returns the field value (null only when the
  // field has no descriptor).
  AbstractData* includeOptionalField(unsigned number, unsigned index);
  // Marks the field absent; its value object stays for a later include.
  void removeOptionalField(unsigned number);

  int tagMode() const;
  unsigned getFieldTag(unsigned index) const;

  BitMap& optionMap() { return optionMap_; }
  const BitMap& optionMap() const { return optionMap_; }
  BitMap& extensionMap() { return extensionMap_; }
  const BitMap& extensionMap() const { return extensionMap_; }

  // Creates the field's default value when the slot is empty; returns it
  // (null for an index beyond the fields or a field without a descriptor).
  AbstractData* makeField(unsigned index) {
    if (index < numFields_ && fields_[index] != nullptr) return fields_[index];
    return createField(index);
  }

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;

 private:
  // Records of up to kInlineFields fields keep their field pointers in the
  // object; larger ones in one pooled array.
  static const unsigned kInlineFields = 4;
  // Points fields_ at storage for numFields_ null pointers.
  void allocateFields();
  void releaseFields();
  AbstractData* createField(unsigned index);

  // numFields_ owned field values (null: not created); the count is fixed by
  // the descriptor. fields_ points to inlineFields_ or to a pooled array.
  AbstractData** fields_;
  unsigned numFields_;
  AbstractData* inlineFields_[kInlineFields];
  BitMap optionMap_;
  BitMap extensionMap_;
};

}  // namespace ASN1

#endif
