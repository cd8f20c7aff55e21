// Lists: ASN1::SEQUENCE_OF_Base (one class for every SEQUENCE OF and SET OF)
// and the typed templates SEQUENCE_OF<E, C> and SET_OF<E, C>.
//
// A list owns its elements (a vector of element pointers). The templates add
// no data; they present the elements typed as E and carry the list type's
// constant descriptor (element descriptor &E::theInfo, no size constraint).
#ifndef ASN1_SEQUENCE_OF_H
#define ASN1_SEQUENCE_OF_H

#include <cstddef>
#include <iterator>
#include <vector>

#include "asn1/abstract_data.h"

namespace ASN1 {

// The constraint argument of the list templates: no size constraint.
struct EmptyConstraint {};

class SEQUENCE_OF_Base : public ConstrainedObject, public detail::Allocator<SEQUENCE_OF_Base> {
 public:
  struct InfoType : ConstrainedObject::InfoType {
    const TypeInfo* elementInfo;
  };
  typedef std::vector<AbstractData*> Container;
  typedef Container::iterator iterator;
  typedef Container::const_iterator const_iterator;

  explicit SEQUENCE_OF_Base(const InfoType* info) : ConstrainedObject(info) {}
  SEQUENCE_OF_Base(const SEQUENCE_OF_Base& other);
  SEQUENCE_OF_Base& operator=(const SEQUENCE_OF_Base& other);
  ~SEQUENCE_OF_Base() override;
  void swap(SEQUENCE_OF_Base& other) { container_.swap(other.container_); }

  static AbstractData* create(const TypeInfo* info);

  const InfoType* info() const { return static_cast<const InfoType*>(AbstractData::info()); }

  unsigned size() const { return unsigned(container_.size()); }
  bool empty() const { return container_.empty(); }
  iterator begin() { return container_.begin(); }
  iterator end() { return container_.end(); }
  const_iterator begin() const { return container_.begin(); }
  const_iterator end() const { return container_.end(); }
  void reserve(unsigned n) { container_.reserve(n); }

  // Appends and takes ownership.
  void push_back(AbstractData* value) { container_.push_back(value); }
  // A new default element (owned by the caller).
  AbstractData* createElement() const { return AbstractData::create(info()->elementInfo); }
  void resize(unsigned n);
  // Inserts count clones of value at pos.
  void insert(iterator pos, unsigned count, const AbstractData& value);
  // Inserts a clone of each value of [first, last) at pos.
  void insert(iterator pos, const_iterator first, const_iterator last);
  // Deletes and removes [first, last); returns the position after them.
  iterator erase(iterator first, iterator last);
  void clear();
  // The checks of constraint_checker.h for this value with its contents.
  bool isValid() const { return AbstractData::isValid(); }
  bool isStrictlyValid() const { return AbstractData::isStrictlyValid(); }

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;

  Container container_;
};

namespace detail {

// Iterator over a list's element pointers, giving the elements typed as E.
template <class E, class Base, class Ref>
class TypedIterator {
 public:
  typedef std::forward_iterator_tag iterator_category;
  typedef E value_type;
  typedef std::ptrdiff_t difference_type;
  typedef typename std::remove_reference<Ref>::type* pointer;
  typedef Ref reference;

  TypedIterator() {}
  explicit TypedIterator(Base it) : it_(it) {}
  template <class OE, class OB, class OR>
  TypedIterator(const TypedIterator<OE, OB, OR>& other) : it_(other.base()) {}

  Ref operator*() const { return static_cast<Ref>(**it_); }
  pointer operator->() const { return &**this; }
  TypedIterator& operator++() {
    ++it_;
    return *this;
  }
  TypedIterator operator++(int) {
    TypedIterator old(*this);
    ++it_;
    return old;
  }
  template <class OE, class OB, class OR>
  bool operator==(const TypedIterator<OE, OB, OR>& other) const { return it_ == other.base(); }
  template <class OE, class OB, class OR>
  bool operator!=(const TypedIterator<OE, OB, OR>& other) const { return it_ != other.base(); }
  Base base() const { return it_; }

 private:
  Base it_;
};

template <class E, unsigned Tag>
class TypedList : public SEQUENCE_OF_Base {
 public:
  typedef E value_type;
  typedef TypedIterator<E, SEQUENCE_OF_Base::iterator, E&> iterator;
  typedef TypedIterator<E, SEQUENCE_OF_Base::const_iterator, const E&> const_iterator;

  iterator begin() { return iterator(container_.begin()); }
  iterator end() { return iterator(container_.end()); }
  const_iterator begin() const { return const_iterator(container_.begin()); }
  const_iterator end() const { return const_iterator(container_.end()); }

  E& operator[](unsigned i) { return static_cast<E&>(*container_[i]); }
  const E& operator[](unsigned i) const { return static_cast<const E&>(*container_[i]); }
  E& front() { return (*this)[0]; }
  const E& front() const { return (*this)[0]; }
  E& back() { return (*this)[size() - 1]; }
  const E& back() const { return (*this)[size() - 1]; }

  // Appends a copy of value.
  void push_back(const E& value) { container_.push_back(value.AbstractData::clone()); }
  // Deletes the element at it; returns the position after it.
  iterator erase(iterator it) {
    SEQUENCE_OF_Base::iterator pos = container_.begin() + (it.base() - container_.begin());
    return iterator(SEQUENCE_OF_Base::erase(pos, pos + 1));
  }
  iterator erase(iterator first, iterator last) {
    SEQUENCE_OF_Base::iterator f = container_.begin() + (first.base() - container_.begin());
    SEQUENCE_OF_Base::iterator l = container_.begin() + (last.base() - container_.begin());
    return iterator(SEQUENCE_OF_Base::erase(f, l));
  }

 protected:
  explicit TypedList(const SEQUENCE_OF_Base::InfoType* info) : SEQUENCE_OF_Base(info) {}
  TypedList(const TypedList&) = default;
  TypedList& operator=(const TypedList&) = default;
};

}  // namespace detail

template <class E, class C = EmptyConstraint>
class SEQUENCE_OF : public detail::TypedList<E, 16> {
 public:
  typedef SEQUENCE_OF_Base::InfoType InfoType;
  static constexpr InfoType theInfo = {
      {{&create_as<SEQUENCE_OF>, 16}, Unconstrained, 0, 0xFFFFFFFFu}, &E::theInfo};

  SEQUENCE_OF() : detail::TypedList<E, 16>(&theInfo) {}
  SEQUENCE_OF(const SEQUENCE_OF&) = default;
  SEQUENCE_OF& operator=(const SEQUENCE_OF&) = default;
  SEQUENCE_OF* clone() const { return static_cast<SEQUENCE_OF*>(AbstractData::clone()); }
};

template <class E, class C = EmptyConstraint>
class SET_OF : public detail::TypedList<E, 17> {
 public:
  typedef SEQUENCE_OF_Base::InfoType InfoType;
  static constexpr InfoType theInfo = {
      {{&create_as<SET_OF>, 17}, Unconstrained, 0, 0xFFFFFFFFu}, &E::theInfo};

  SET_OF() : detail::TypedList<E, 17>(&theInfo) {}
  SET_OF(const SET_OF&) = default;
  SET_OF& operator=(const SET_OF&) = default;
  SET_OF* clone() const { return static_cast<SET_OF*>(AbstractData::clone()); }
};

}  // namespace ASN1

#endif
