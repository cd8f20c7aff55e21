#include "asn1/sequence_of.h"

#include "asn1/visitor.h"

namespace ASN1 {

SEQUENCE_OF_Base::SEQUENCE_OF_Base(const SEQUENCE_OF_Base& other) : ConstrainedObject(other) {
  container_.reserve(other.container_.size());
  for (const AbstractData* e : other.container_) container_.push_back(e->clone());
}

SEQUENCE_OF_Base& SEQUENCE_OF_Base::operator=(const SEQUENCE_OF_Base& other) {
  if (this != &other) {
    Container copy;
    copy.reserve(other.container_.size());
    for (const AbstractData* e : other.container_) copy.push_back(e->clone());
    container_.swap(copy);
    for (AbstractData* e : copy) delete e;
  }
  return *this;
}

SEQUENCE_OF_Base::~SEQUENCE_OF_Base() { clear(); }

AbstractData* SEQUENCE_OF_Base::create(const TypeInfo* info) {
  return new SEQUENCE_OF_Base(static_cast<const InfoType*>(info));
}

void SEQUENCE_OF_Base::resize(unsigned n) {
  if (n < container_.size()) {
    for (unsigned i = n; i < container_.size(); ++i) delete container_[i];
    container_.resize(n);
  } else {
    container_.reserve(n);
    while (container_.size() < n) container_.push_back(createElement());
  }
}

void SEQUENCE_OF_Base::insert(iterator pos, unsigned count, const AbstractData& value) {
  const std::size_t at = pos - container_.begin();
  Container copies;
  copies.reserve(count);
  for (unsigned i = 0; i < count; ++i) copies.push_back(value.clone());
  container_.insert(container_.begin() + at, copies.begin(), copies.end());
}

void SEQUENCE_OF_Base::insert(iterator pos, const_iterator first, const_iterator last) {
  const std::size_t at = pos - container_.begin();
  Container copies;
  copies.reserve(last - first);
  for (; first != last; ++first) copies.push_back((*first)->clone());
  container_.insert(container_.begin() + at, copies.begin(), copies.end());
}

SEQUENCE_OF_Base::iterator SEQUENCE_OF_Base::erase(iterator first, iterator last) {
  for (iterator it = first; it != last; ++it) delete *it;
  return container_.erase(first, last);
}

void SEQUENCE_OF_Base::clear() {
  for (AbstractData* e : container_) delete e;
  container_.clear();
}

int SEQUENCE_OF_Base::do_compare(const AbstractData& otherData) const {
  const SEQUENCE_OF_Base& other = static_cast<const SEQUENCE_OF_Base&>(otherData);
  const std::size_t n = std::min(container_.size(), other.container_.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int r = container_[i]->compare(*other.container_[i]);
    if (r != 0) return r;
  }
  return int(container_.size()) - int(other.container_.size());
}

AbstractData* SEQUENCE_OF_Base::do_clone() const { return cloneAs<SEQUENCE_OF_Base>(); }

bool SEQUENCE_OF_Base::do_accept(Visitor& v) { return v.visit(*this); }
bool SEQUENCE_OF_Base::do_accept(ConstVisitor& v) const { return v.visit(*this); }

}  // namespace ASN1
