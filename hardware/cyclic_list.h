// An intrusive circular doubly linked list. A node is a member of the object
// it lists and knows that object; a list head is a node linked to itself when
// empty. A node leaves its list when it is destroyed. Loop thread only.
#pragma once

namespace Containers {

class CyclicList {
 public:
  // `owner`: the object this node is a member of (null for a head).
  explicit CyclicList(void* owner = nullptr) : next_(this), prev_(this), owner_(owner) {}
  ~CyclicList() { Unlink(); }
  CyclicList(const CyclicList&) = delete;
  CyclicList& operator=(const CyclicList&) = delete;

  // Moves `node` from any list it is in to just before this head.
  void AddToTail(CyclicList& node) {
    node.Unlink();
    node.next_ = this;
    node.prev_ = prev_;
    prev_->next_ = &node;
    prev_ = &node;
  }
  void Unlink() {
    prev_->next_ = next_;
    next_->prev_ = prev_;
    next_ = prev_ = this;
  }
  bool empty() const { return next_ == this; }
  void* owner() const { return owner_; }

  class iterator {
   public:
    explicit iterator(CyclicList* node) : node_(node) {}
    CyclicList& operator*() const { return *node_; }
    iterator& operator++() {
      node_ = node_->next_;
      return *this;
    }
    bool operator!=(const iterator& other) const { return node_ != other.node_; }
    bool operator==(const iterator& other) const { return node_ == other.node_; }

   private:
    CyclicList* node_;
  };
  iterator begin() { return iterator(next_); }
  iterator end() { return iterator(this); }

 private:
  CyclicList* next_;
  CyclicList* prev_;
  void* owner_;
};

// The object a node belongs to.
template <class T>
T* offset(CyclicList& node) {
  return static_cast<T*>(node.owner());
}

}  // namespace Containers
