// One formatted stream operation under the stream's own error policy: the
// frame of the value-notation inserter and of the reader's extractor.
//
// do_it runs the operation and applies the state it returns to the stream;
// an exception becomes badbit (memory) or failbit (anything else) and goes
// on to the caller only when the stream's exception mask asks for it, as
// the standard formatted operations do.
#ifndef ASN1_STREAM_IO_H
#define ASN1_STREAM_IO_H

#include <ios>
#include <istream>
#include <new>
#include <ostream>
#include <string>

namespace ASN1 {

template <class CharT, class Traits = std::char_traits<CharT> >
class IOWrapper {
 public:
  virtual ~IOWrapper() {}

  void do_it(std::basic_ios<CharT, Traits>& stream) {
    try {
      const std::ios_base::iostate state = do_real_io();
      if (state != std::ios_base::goodbit) stream.setstate(state);
    } catch (const std::bad_alloc&) {
      setQuietly(stream, std::ios_base::badbit);
      if (stream.exceptions() & std::ios_base::badbit) throw;
    } catch (...) {
      setQuietly(stream, std::ios_base::failbit);
      if (stream.exceptions() & std::ios_base::failbit) throw;
    }
  }

 protected:
  // The input or output itself; the state to set on the stream.
  virtual std::ios_base::iostate do_real_io() = 0;

 private:
  // The caller is to see the exception that was raised, not the one that
  // setting the state may raise under the exception mask.
  static void setQuietly(std::basic_ios<CharT, Traits>& stream, std::ios_base::iostate state) {
    try {
      stream.setstate(state);
    } catch (const std::ios_base::failure&) {
    }
  }
};

// Writes one value (T: a value with print_on, ASN1::AbstractData) on the
// stream in value notation. The stream and the value outlive the wrapper.
template <class CharT, class Traits, class T>
class InserterWrapper : public IOWrapper<CharT, Traits> {
 public:
  InserterWrapper(std::basic_ostream<CharT, Traits>& os, const T& value) : os_(os), value_(value) {}

 protected:
  // The sentry flushes a tied stream first; the state goes back to do_it
  // after the sentry is gone.
  std::ios_base::iostate do_real_io() override {
    typename std::basic_ostream<CharT, Traits>::sentry guard(os_);
    if (!guard) return std::ios_base::goodbit;
    return value_.print_on(os_);
  }

 private:
  std::basic_ostream<CharT, Traits>& os_;
  const T& value_;
};

// Reads one value (T: a value with get_from, ASN1::AbstractData) from the
// stream in value notation. The stream and the value outlive the wrapper.
template <class CharT, class Traits, class T>
class ExtractorWrapper : public IOWrapper<CharT, Traits> {
 public:
  ExtractorWrapper(std::basic_istream<CharT, Traits>& is, T& value) : is_(is), value_(value) {}

 protected:
  // The sentry skips leading white space; when it finds the end of the
  // input it has set the stream's state itself.
  std::ios_base::iostate do_real_io() override {
    typename std::basic_istream<CharT, Traits>::sentry guard(is_);
    if (!guard) return std::ios_base::goodbit;
    return value_.get_from(is_);
  }

 private:
  std::basic_istream<CharT, Traits>& is_;
  T& value_;
};

}  // namespace ASN1

#endif
