// One formatted stream operation under the stream's own error policy; shared
// by the value-notation writer and reader.
#ifndef ASN1_STREAM_IO_H
#define ASN1_STREAM_IO_H

#include <ios>
#include <new>

namespace ASN1 {
namespace detail {

// Runs one input or output operation on a stream and applies its resulting
// state; an exception becomes badbit (memory) or failbit (anything else) and
// goes on only when the stream's exception mask asks for it.
class IOWrapper {
 public:
  virtual ~IOWrapper() {}
  void do_it(std::ios& stream) {
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
  virtual std::ios_base::iostate do_real_io() = 0;

 private:
  static void setQuietly(std::ios& stream, std::ios_base::iostate state) {
    try {
      stream.setstate(state);
    } catch (const std::ios_base::failure&) {
    }
  }
};

}  // namespace detail
}  // namespace ASN1

#endif
