// Intrusive doubly linked lists: the links live inside the elements, so
// moving elements between lists never allocates.
//
// An element class derives from F_dual_list_item<T> and can be in one list at
// a time. The list links and unlinks elements it does not own; it does not
// check membership: removing an element that is not in the list, or inserting
// one that already is in a list, breaks the list. Users keep track.
#pragma once

#include <cstddef>
#include <iterator>

template <class T>
class F_dual_list;

template <class T>
class F_dual_list_item {
 public:
  T* get_next() const { return next; }
  T* get_prev() const { return prev; }

 protected:
  F_dual_list_item() = default;
  ~F_dual_list_item() = default;

 private:
  friend class F_dual_list<T>;
  T* next = nullptr;
  T* prev = nullptr;
};

template <class T>
class F_dual_list {
 public:
  class iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = T*;
    using difference_type = std::ptrdiff_t;
    using pointer = T**;
    using reference = T*;

    iterator(T* p = nullptr) : p_(p) {}
    iterator& operator++() {
      p_ = p_->get_next();
      return *this;
    }
    iterator operator++(int) {
      iterator old = *this;
      p_ = p_->get_next();
      return old;
    }
    T* operator*() const { return p_; }
    T* operator->() const { return p_; }
    bool operator!=(const iterator& o) const { return p_ != o.p_; }
    bool operator==(const iterator& o) const { return p_ == o.p_; }
    bool good() const { return p_ != nullptr; }
    bool operator!() const { return p_ == nullptr; }

   private:
    T* p_;
  };

  F_dual_list() = default;
  // REQUIRES: n >= 1. Links the n array elements in array order.
  F_dual_list(T* array, unsigned int n) { init(array, n); }
  // The list never owns its elements: destroying it leaves them alone.
  ~F_dual_list() = default;
  F_dual_list(const F_dual_list&) = delete;
  F_dual_list& operator=(const F_dual_list&) = delete;

  void init(T* array, unsigned int n) {
    for (unsigned int i = 0; i < n; ++i) {
      link(&array[i]).prev = i == 0 ? nullptr : &array[i - 1];
      link(&array[i]).next = i + 1 == n ? nullptr : &array[i + 1];
    }
    head_ = &array[0];
    tail_ = &array[n - 1];
    count_ = n;
  }

  T* insert_to_tail(T* x) {
    ++count_;
    link(x).next = nullptr;
    link(x).prev = tail_;
    if (tail_)
      link(tail_).next = x;
    else
      head_ = x;
    tail_ = x;
    return x;
  }
  T* push_back(T* x) { return insert_to_tail(x); }

  T* insert_to_head(T* x) {
    ++count_;
    link(x).prev = nullptr;
    link(x).next = head_;
    if (head_)
      link(head_).prev = x;
    else
      tail_ = x;
    head_ = x;
    return x;
  }

  // REQUIRES: pos is in this list.
  T* insert_after(T* pos, T* x) {
    ++count_;
    link(x).next = link(pos).next;
    link(x).prev = pos;
    if (link(pos).next)
      link(link(pos).next).prev = x;
    else
      tail_ = x;
    link(pos).next = x;
    return x;
  }

  // REQUIRES: x is in this list. x's own links are left as they were.
  void remove(T* x) {
    if (link(x).prev)
      link(link(x).prev).next = link(x).next;
    else
      head_ = link(x).next;
    if (link(x).next)
      link(link(x).next).prev = link(x).prev;
    else
      tail_ = link(x).prev;
    --count_;
  }

  T* remove_from_head() {
    T* x = head_;
    if (!x) return nullptr;
    head_ = link(x).next;
    if (head_)
      link(head_).prev = nullptr;
    else
      tail_ = nullptr;
    --count_;
    return x;
  }

  T* remove_from_tail() {
    T* x = tail_;
    if (!x) return nullptr;
    tail_ = link(x).prev;
    if (tail_)
      link(tail_).next = nullptr;
    else
      head_ = nullptr;
    --count_;
    return x;
  }

  unsigned int count() const { return count_; }
  unsigned int size() const { return count_; }
  bool empty() const { return count_ == 0; }
  T* get_head() const { return head_; }
  T* get_tail() const { return tail_; }

  // Exchanges the contents with `other`; used to move every element of one
  // list into an empty one.
  void merge(F_dual_list& other) {
    T* h = head_;
    T* t = tail_;
    unsigned int c = count_;
    head_ = other.head_;
    tail_ = other.tail_;
    count_ = other.count_;
    other.head_ = h;
    other.tail_ = t;
    other.count_ = c;
  }

  iterator begin() const { return iterator(head_); }
  iterator last() const { return iterator(tail_); }
  iterator end() const { return iterator(nullptr); }

 private:
  static F_dual_list_item<T>& link(T* x) { return *static_cast<F_dual_list_item<T>*>(x); }

  T* head_ = nullptr;
  T* tail_ = nullptr;
  unsigned int count_ = 0;
};

// A list kept in order by T::compare(const T*), which returns a negative,
// zero or positive int as the element sorts before, with or after the other.
template <class T>
class F_sorted_list : public F_dual_list<T> {
 public:
  // Inserts x after the last element that sorts before or with it (searching
  // from the tail), or at the head. Equal elements keep insertion order; an
  // element that sorts after all others costs one comparison.
  T* insert_to_tail_by_grown(T* x) {
    for (T* p = this->get_tail(); p; p = p->get_prev()) {
      if (p->compare(x) <= 0) return this->insert_after(p, x);
    }
    return this->insert_to_head(x);
  }
};
