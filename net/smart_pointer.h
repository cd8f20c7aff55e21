// Smart_pointer: a handle on an object that carries its own reference count.
//
// The pointed-to type has a public unsigned member `ref_count` (0 when the
// object is built) and is released with `delete`, so a type may route its
// storage elsewhere through class-level allocation operators (the packet
// blocks go back to their pool). Null handles are allowed; dereferencing one
// prints "SMART POINTER ASSERTION!" and ends the process.
//
// Single-threaded: the counts are plain integers.
#pragma once

namespace smart_pointer_detail {
[[noreturn]] void assertion_failed();
}

template <class T>
class Smart_pointer {
 public:
  Smart_pointer() = default;
  // Takes a reference on `p` (when not null).
  explicit Smart_pointer(T* p) : ptr_(p) { acquire(); }
  Smart_pointer(const Smart_pointer& other) : ptr_(other.ptr_) { acquire(); }
  ~Smart_pointer() { release(); }

  Smart_pointer& operator=(const Smart_pointer& other) {
    if (ptr_ != other.ptr_) {
      T* p = other.ptr_;
      release();
      ptr_ = p;
      acquire();
    }
    return *this;
  }
  Smart_pointer& operator=(T* p) {
    if (ptr_ != p) {
      release();
      ptr_ = p;
      acquire();
    }
    return *this;
  }

  // Drops the reference and becomes null.
  void clean() { release(); }
  bool null() const { return ptr_ == nullptr; }
  bool operator!() const { return ptr_ == nullptr; }
  explicit operator bool() const { return ptr_ != nullptr; }

  const T* operator->() const {
    if (!ptr_) smart_pointer_detail::assertion_failed();
    return ptr_;
  }
  // Mutable access. For packet blocks this is specialised to take a private
  // copy of a shared block first (copy-on-write, see packet.h).
  T* operator->() {
    if (!ptr_) smart_pointer_detail::assertion_failed();
    return ptr_;
  }

  // The raw pointer, without any check or copy; null allowed.
  T* get() const { return ptr_; }

 private:
  void acquire() {
    if (ptr_) ++ptr_->ref_count;
  }
  void release() {
    if (!ptr_) return;
    T* p = ptr_;
    ptr_ = nullptr;
    if (p->ref_count != 0 && --p->ref_count == 0) delete p;
  }

  T* ptr_ = nullptr;
};
