// Captures what a standard stream receives while the object lives.
#pragma once

#include <ostream>
#include <sstream>
#include <string>

class Capture {
 public:
  explicit Capture(std::ostream& stream) : stream_(stream), old_(stream.rdbuf(buffer_.rdbuf())) {}
  ~Capture() { stream_.rdbuf(old_); }
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;

  std::string text() const { return buffer_.str(); }
  bool has(const std::string& part) const { return text().find(part) != std::string::npos; }
  void clear() { buffer_.str(std::string()); }

 private:
  std::ostream& stream_;
  std::ostringstream buffer_;
  std::streambuf* old_;
};
