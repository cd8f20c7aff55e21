// Cyclic: a sequence number counting modulo M + 1 (M + 1 a power of two).
//
// The window test reads as a chained comparison: `a <= b <= x` is true when b
// lies in the cyclic range that starts at a and runs forward to x, both ends
// included. `a <= b` alone yields a LessEqPair, not a truth value.
#pragma once

template <class T, T M>
class Cyclic {
  static_assert(((M + 1) & M) == 0, "M + 1 must be a power of two");

 public:
  struct LessEqPair {
    // True when x lies forward of low at least as far as high does.
    bool operator<=(Cyclic x) const {
      return ((x.value_ - low.value_) & M) >= ((high.value_ - low.value_) & M);
    }
    Cyclic low;
    Cyclic high;
  };

  Cyclic() = default;
  Cyclic(T v) : value_(v & M) {}  // NOLINT: implicit on purpose, as a number

  operator T() const { return value_; }

  Cyclic& operator++() {
    value_ = (value_ + 1) & M;
    return *this;
  }
  Cyclic operator++(int) {
    Cyclic before = *this;
    ++*this;
    return before;
  }
  Cyclic& operator--() {
    value_ = (value_ - 1) & M;
    return *this;
  }

  Cyclic operator+(const Cyclic& b) const { return Cyclic((value_ + b.value_) & M); }
  // How far this value lies ahead of b.
  Cyclic operator-(const Cyclic& b) const { return Cyclic((value_ - b.value_) & M); }

  LessEqPair operator<=(Cyclic b) const { return LessEqPair{*this, b}; }

 private:
  T value_ = 0;
};
