// Names of protocol layers.
//
// A name has a kind; two names are comparable only when their kinds match.
// The null name (kind 0) prints "(no name)" and equals every other null name;
// a string name (kind 1) owns a copy of its text and equals another string
// name with the same bytes.
#pragma once

#include <iosfwd>
#include <string>

class Protocol_name {
 public:
  virtual ~Protocol_name() = default;
  virtual int kind() const = 0;
  virtual const char* name() const = 0;
  virtual bool compare(const Protocol_name& other) const = 0;

  bool compatible(const Protocol_name& other) const { return kind() == other.kind(); }
  void out(std::ostream& os) const;
};

std::ostream& operator<<(std::ostream& os, const Protocol_name& name);

class Protocol_name_null : public Protocol_name {
 public:
  int kind() const override { return 0; }
  const char* name() const override { return "(no name)"; }
  bool compare(const Protocol_name& other) const override { return compatible(other); }
};

class Protocol_name_str : public Protocol_name {
 public:
  // A null text names nothing and prints "(no name)".
  explicit Protocol_name_str(const char* text)
      : has_text_(text != nullptr), text_(text ? text : "") {}
  int kind() const override { return 1; }
  const char* name() const override { return has_text_ ? text_.c_str() : "(no name)"; }
  bool compare(const Protocol_name& other) const override;

 private:
  bool has_text_;
  std::string text_;
};
