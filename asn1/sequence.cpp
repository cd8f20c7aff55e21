#include "asn1/sequence.h"

#include <algorithm>
#include <cassert>

#include "asn1/visitor.h"

namespace ASN1 {

const unsigned SEQUENCE::defaultTag = 0;

SEQUENCE::BitMap::BitMap(const BitMap& other)
    : size_(other.size_), capacity_(kInlineBytes), heap_(nullptr) {
  clearInline();
  const unsigned bytes = other.byteCount();
  if (bytes > kInlineBytes) {
    heap_ = new char[bytes];
    capacity_ = bytes;
  }
  std::copy(other.data(), other.data() + bytes, data());
}

SEQUENCE::BitMap& SEQUENCE::BitMap::operator=(const BitMap& other) {
  if (this != &other) {
    BitMap copy(other);
    swap(copy);
  }
  return *this;
}

void SEQUENCE::BitMap::swap(BitMap& other) {
  // Nothing points into inline_, so the members swap as they are.
  std::swap(size_, other.size_);
  std::swap(capacity_, other.capacity_);
  std::swap(heap_, other.heap_);
  for (unsigned i = 0; i < kInlineBytes; ++i) std::swap(inline_[i], other.inline_[i]);
}

void SEQUENCE::BitMap::resizeStorage(unsigned n) {
  const unsigned oldBytes = byteCount();
  const unsigned newBytes = (n + 7) / 8;
  if (newBytes > capacity_) {
    char* grown = new char[newBytes];
    std::copy(data(), data() + oldBytes, grown);
    std::fill(grown + oldBytes, grown + newBytes, 0);
    delete[] heap_;
    heap_ = grown;
    capacity_ = newBytes;
  } else if (newBytes < oldBytes) {
    std::fill(data() + newBytes, data() + oldBytes, 0);
  }
  // Bits beyond a shrunk size must not reappear when it grows again.
  if (n < size_ && (n & 7) != 0) {
    char* bits = data();
    bits[n >> 3] = char(static_cast<unsigned char>(bits[n >> 3]) & (0xFF00u >> (n & 7)));
  }
  size_ = n;
}

void SEQUENCE::BitMap::set(unsigned i) {
  if (i < size_)
    data()[i >> 3] = char(static_cast<unsigned char>(data()[i >> 3]) | (0x80u >> (i & 7)));
}

void SEQUENCE::BitMap::clear(unsigned i) {
  if (i < size_)
    data()[i >> 3] = char(static_cast<unsigned char>(data()[i >> 3]) & ~(0x80u >> (i & 7)));
}

bool SEQUENCE::BitMap::any() const {
  for (unsigned i = 0; i < size_; ++i)
    if ((*this)[i]) return true;
  return false;
}

SEQUENCE::FieldVector::FieldVector(unsigned n) : slots_(nullptr), size_(n) { allocate(); }

SEQUENCE::FieldVector::FieldVector(const FieldVector& other) : slots_(nullptr), size_(other.size_) {
  allocate();
  for (unsigned i = 0; i < size_; ++i)
    if (other.slots_[i] != nullptr) slots_[i] = other.slots_[i]->clone();
}

SEQUENCE::FieldVector& SEQUENCE::FieldVector::operator=(const FieldVector& other) {
  if (this != &other) {
    FieldVector copy(other);
    swap(copy);
  }
  return *this;
}

SEQUENCE::FieldVector::~FieldVector() { release(); }

void SEQUENCE::FieldVector::allocate() {
  if (size_ <= kInlineSlots) {
    slots_ = inline_;
    for (AbstractData*& f : inline_) f = nullptr;
  } else {
    slots_ = static_cast<AbstractData**>(detail::poolAllocate(size_ * sizeof(AbstractData*)));
    for (unsigned i = 0; i < size_; ++i) slots_[i] = nullptr;
  }
}

void SEQUENCE::FieldVector::release() {
  for (unsigned i = 0; i < size_; ++i) delete slots_[i];
  if (slots_ != inline_) detail::poolDeallocate(slots_, size_ * sizeof(AbstractData*));
}

void SEQUENCE::FieldVector::swap(FieldVector& other) {
  // Pooled arrays change hands; inline pointers move between the objects.
  const bool mineInline = slots_ == inline_;
  const bool theirsInline = other.slots_ == other.inline_;
  for (unsigned i = 0; i < kInlineSlots; ++i) std::swap(inline_[i], other.inline_[i]);
  std::swap(slots_, other.slots_);
  std::swap(size_, other.size_);
  if (theirsInline) slots_ = inline_;
  if (mineInline) other.slots_ = other.inline_;
}

SEQUENCE::SEQUENCE(const InfoType* info)
    : AbstractData(info), fields_(info->numRootFields + info->numExtensions) {
  optionMap_.resize(info->numOptional);
  for (unsigned i = 0; i < info->numRootFields; ++i) {
    if (info->fieldIds[i] == -1) fields_[i] = AbstractData::create(info->fieldInfos[i]);
  }
  if (info->initialExtensions != nullptr) {
    extensionMap_.resize(info->numExtensions);
    // The map holds (numExtensions + 7) / 8 bytes, not numExtensions.
    std::copy(info->initialExtensions, info->initialExtensions + (info->numExtensions + 7) / 8,
              extensionMap_.data());
    for (unsigned k = 0; k < info->numExtensions; ++k) {
      if (extensionMap_[k])
        fields_[info->numRootFields + k] =
            AbstractData::create(info->fieldInfos[info->numRootFields + k]);
    }
  }
}

SEQUENCE::SEQUENCE(const SEQUENCE& other)
    : AbstractData(other),
      fields_(other.fields_),
      optionMap_(other.optionMap_),
      extensionMap_(other.extensionMap_) {}

SEQUENCE& SEQUENCE::operator=(const SEQUENCE& other) {
  if (this != &other) {
    SEQUENCE copy(other);
    swap(copy);
  }
  return *this;
}

SEQUENCE::~SEQUENCE() {}

void SEQUENCE::swap(SEQUENCE& other) {
  fields_.swap(other.fields_);
  optionMap_.swap(other.optionMap_);
  extensionMap_.swap(other.extensionMap_);
}

AbstractData* SEQUENCE::create(const TypeInfo* info) {
  return new SEQUENCE(static_cast<const InfoType*>(info));
}

SEQUENCE::FieldVector::reference SEQUENCE::includeOptionalField(unsigned number, unsigned index) {
  const unsigned numOptional = info()->numOptional;
  if (number < numOptional) {
    optionMap_.set(number);
  } else {
    const unsigned bit = number - numOptional;
    if (bit >= extensionMap_.size()) extensionMap_.resize(bit + 1);
    extensionMap_.set(bit);
  }
  assert(index < fields_.size());
  makeField(index);
  return fields_[index];
}

void SEQUENCE::removeOptionalField(unsigned number) {
  const unsigned numOptional = info()->numOptional;
  if (number < numOptional)
    optionMap_.clear(number);
  else
    extensionMap_.clear(number - numOptional);
}

AbstractData* SEQUENCE::createField(unsigned index) {
  if (index >= fields_.size()) return nullptr;
  if (fields_[index] == nullptr) fields_[index] = AbstractData::create(info()->fieldInfos[index]);
  return fields_[index];
}

int SEQUENCE::tagMode() const {
  if (info()->fieldTags == nullptr) return 0;
  if (info()->fieldTags == &defaultTag) return 2;
  return 1;
}

unsigned SEQUENCE::getFieldTag(unsigned index) const {
  switch (tagMode()) {
    case 0:
      return contextTag(index);
    case 2:
      return info()->fieldInfos[index]->tag;
    default:
      return info()->fieldTags[index];
  }
}

int SEQUENCE::do_compare(const AbstractData& otherData) const {
  const SEQUENCE& other = static_cast<const SEQUENCE&>(otherData);
  const InfoType* d = info();
  // Two present fields compare by value; otherwise a present one sorts after
  // an absent one.
  auto field = [&](unsigned i, bool mine, bool theirs) {
    if (mine && theirs && fields_[i] != nullptr && other.fields_[i] != nullptr)
      return fields_[i]->compare(*other.fields_[i]);
    return int(mine) - int(theirs);
  };
  for (unsigned i = 0; i < d->numRootFields; ++i) {
    const int id = d->fieldIds[i];
    const int r = field(i, id == -1 || hasOptionalField(unsigned(id)),
                        id == -1 || other.hasOptionalField(unsigned(id)));
    if (r != 0) return r;
  }
  for (unsigned k = 0; k < d->numExtensions; ++k) {
    const unsigned number = d->numOptional + k;
    const int r =
        field(d->numRootFields + k, hasOptionalField(number), other.hasOptionalField(number));
    if (r != 0) return r;
  }
  return 0;
}

AbstractData* SEQUENCE::do_clone() const { return cloneAs<SEQUENCE>(); }

bool SEQUENCE::do_accept(Visitor& v) { return v.visit(*this); }
bool SEQUENCE::do_accept(ConstVisitor& v) const { return v.visit(*this); }

}  // namespace ASN1
