// Status objects that protocol layers report to each other.
//
// A status is shared through Smart_pointer<Internal_protocol_status>, which
// counts references in the status itself and deletes it with the last one.
// The originator is the layer that made the status; it is not owned and may
// be gone by the time a receiver looks at the status (receivers use it only
// to identify the source).
#pragma once

#include <iosfwd>
#include <string>

#include "net/smart_pointer.h"

class Protocol_info;

class Internal_protocol_status {
 public:
  explicit Internal_protocol_status(const Protocol_info* originator)
      : originator_(originator) {}
  virtual ~Internal_protocol_status() = default;
  Internal_protocol_status(const Internal_protocol_status&) = delete;
  Internal_protocol_status& operator=(const Internal_protocol_status&) = delete;

  virtual bool success() const = 0;
  virtual std::string message() const = 0;
  virtual void out(std::ostream& os) const = 0;

  const Protocol_info* originator() const { return originator_; }

  unsigned ref_count = 0;  // managed by Smart_pointer

 private:
  const Protocol_info* originator_;
};

using Protocol_status = Smart_pointer<Internal_protocol_status>;

std::ostream& operator<<(std::ostream& os, const Internal_protocol_status& status);

class Protocol_status_success : public Internal_protocol_status {
 public:
  Protocol_status_success(const Protocol_info* originator, const std::string& text)
      : Internal_protocol_status(originator), text_(text) {}
  bool success() const override { return true; }
  std::string message() const override { return text_; }
  void out(std::ostream& os) const override;

 private:
  std::string text_;
};

class Protocol_status_error : public Internal_protocol_status {
 public:
  Protocol_status_error(const Protocol_info* originator, const std::string& text)
      : Internal_protocol_status(originator), text_(text) {}
  bool success() const override { return false; }
  std::string message() const override { return text_; }
  void out(std::ostream& os) const override;

 private:
  std::string text_;
};

class Protocol_initialize_error : public Protocol_status_error {
 public:
  explicit Protocol_initialize_error(const Protocol_info* originator)
      : Protocol_status_error(originator, "error") {}
};
