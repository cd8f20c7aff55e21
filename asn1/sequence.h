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

  // The field values: one owned value pointer per field of the descriptor
  // (root fields in declaration order, then the known extension additions);
  // a null slot holds no value. Copying clones every value, destruction
  // deletes them. Vectors of up to kInlineSlots slots keep their pointers in
  // the object, larger ones in one pooled array: most records of the
  // message modules have a handful of fields, and a decoded message builds
  // one record per level.
  class FieldVector {
   public:
    typedef AbstractData* value_type;
    typedef AbstractData*& reference;
    typedef AbstractData* const& const_reference;
    typedef AbstractData** iterator;
    typedef AbstractData* const* const_iterator;

    explicit FieldVector(unsigned n = 0);
    FieldVector(const FieldVector& other);
    FieldVector& operator=(const FieldVector& other);
    ~FieldVector();
    void swap(FieldVector& other);

    unsigned size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // REQUIRES: i < size().
    reference operator[](unsigned i) { return slots_[i]; }
    const_reference operator[](unsigned i) const { return slots_[i]; }
    iterator begin() { return slots_; }
    iterator end() { return slots_ + size_; }
    const_iterator begin() const { return slots_; }
    const_iterator end() const { return slots_ + size_; }

   private:
    static const unsigned kInlineSlots = 4;
    // Points slots_ at storage for size_ null pointers.
    void allocate();
    void release();

    AbstractData** slots_;  // inline_ or a pooled array
    unsigned size_;
    AbstractData* inline_[kInlineSlots];
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
  unsigned getNumFields() const { return fields_.size(); }
  // The value at a field index, possibly null (not yet created).
  AbstractData* getField(unsigned index) { return index < fields_.size() ? fields_[index] : nullptr; }
  const AbstractData* getField(unsigned index) const {
    return index < fields_.size() ? fields_[index] : nullptr;
  }
  const char* getFieldName(unsigned index) const { return info()->fieldNames[index]; }

  bool hasOptionalField(unsigned number) const {
    const unsigned numOptional = info()->numOptional;
    if (number < numOptional) return optionMap_[number];
    return extensionMap_[number - numOptional];
  }
  // Marks the field present (growing the extension map for an extension
  // number beyond it) and creates its default value when the slot is empty;
  // a value already there stays. Returns the field's slot, which is null
  // only when the field has no descriptor.
  // REQUIRES: index < getNumFields().
  FieldVector::reference includeOptionalField(unsigned number, unsigned index);
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
    if (index < fields_.size() && fields_[index] != nullptr) return fields_[index];
    return createField(index);
  }

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;

 private:
  AbstractData* createField(unsigned index);

  // One slot per field of the descriptor (null: not created).
  FieldVector fields_;
  BitMap optionMap_;
  BitMap extensionMap_;
};

}  // namespace ASN1

#endif
