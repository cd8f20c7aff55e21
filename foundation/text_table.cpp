#include "foundation/text_table.h"

namespace ext {

const Table::Sentry& Table::Sentry::resetrow() const {
  table_.resetrow();
  return *this;
}

const Table::Sentry& Table::Sentry::row() const {
  table_.row(os_, text_.str());
  text_.str(std::string());
  return *this;
}

const Table::Sentry& Table::Sentry::delimeter() const {
  table_.delimeter(os_);
  return *this;
}

void Table::row(std::ostream& os, const std::string& text) {
  if (column_ >= widths_.size()) return;
  open_ = true;
  size_t w = static_cast<size_t>(widths_[column_]);
  size_t m = text.size() < w ? text.size() : w;
  os << "|" << std::string((w - m) / 2, ' ') << text << std::string((w - m + 1) / 2, ' ');
  ++column_;
  if (column_ == widths_.size()) {
    os << "|" << std::endl;
    open_ = false;
  }
}

void Table::finalize(std::ostream& os) {
  while (open_ && column_ < widths_.size()) row(os, " ");
}

void Table::line(std::ostream& os, char edge, char fill) {
  finalize(os);
  if (widths_.empty()) return;
  for (int w : widths_) os << edge << std::string(static_cast<size_t>(w), fill);
  os << edge << std::endl;
}

void Table::delimeter(std::ostream& os) { line(os, '+', '-'); }

void Table::gap(std::ostream& os) { line(os, '|', ' '); }

const Table::Sentry& beginrow(const Table::Sentry& s) { return s.resetrow(); }
const Table::Sentry& nextrow(const Table::Sentry& s) { return s.row(); }
const Table::Sentry& delimeter(const Table::Sentry& s) { return s.delimeter(); }

}  // namespace ext
