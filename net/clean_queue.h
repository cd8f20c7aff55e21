// CleanQueue: a fixed ring of N items that resets a slot as an item leaves it.
//
// No allocation after construction. With T = Packet, a packet taken out of
// the queue (get, get_last) or dropped by clear() no longer holds its pool
// block through the queue; preview() hands out a shared copy and leaves the
// item queued. A full queue refuses put() and append() (the item is not
// stored, the queue is unchanged); an empty one answers get(), get_last()
// and preview() with false. Single-threaded.
#pragma once

template <class T, unsigned N>
class CleanQueue {
  static_assert(N > 0, "a queue holds at least one item");

 public:
  CleanQueue() = default;
  CleanQueue(const CleanQueue&) = delete;
  CleanQueue& operator=(const CleanQueue&) = delete;

  unsigned size() const { return N; }
  unsigned count() const { return count_; }
  bool empty() const { return count_ == 0; }

  // Stores x as the newest item.
  bool put(const T& x) {
    if (count_ >= N) return false;
    ++count_;
    items_[tail_] = x;
    tail_ = next(tail_);
    return true;
  }

  // Stores x in front of the oldest item: the next get() returns it.
  bool append(const T& x) {
    if (count_ >= N) return false;
    head_ = prev(head_);
    items_[head_] = x;
    ++count_;
    return true;
  }

  // Takes the oldest item. REQUIRES: out is not null.
  bool get(T* out) { return get(*out); }
  bool get(T& out) {
    if (count_ == 0) return false;
    out = items_[head_];
    items_[head_] = T();
    --count_;
    head_ = next(head_);
    return true;
  }

  // Takes the newest item. REQUIRES: out is not null.
  bool get_last(T* out) {
    if (count_ == 0) return false;
    tail_ = prev(tail_);
    *out = items_[tail_];
    items_[tail_] = T();
    --count_;
    return true;
  }

  // A shared copy of the oldest item, which stays queued; with a null `out`
  // only reports whether an item is there.
  bool preview(T* out) const {
    if (count_ == 0) return false;
    if (out) *out = items_[head_];
    return true;
  }

  // Empties the queue and releases every item it held.
  void clear() {
    for (unsigned i = 0, at = head_; i < count_; ++i, at = next(at)) items_[at] = T();
    head_ = tail_ = count_ = 0;
  }

 private:
  static unsigned next(unsigned i) { return i >= N - 1 ? 0 : i + 1; }
  static unsigned prev(unsigned i) { return i == 0 ? N - 1 : i - 1; }

  T items_[N];
  unsigned head_ = 0;
  unsigned tail_ = 0;
  unsigned count_ = 0;
};
