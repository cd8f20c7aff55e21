// Column-aligned text tables with plus-and-dash borders, for the status dump.
//
// Usage: each statement writes whole rows through a row writer (Sentry):
//   ext::Table t(40, 30);
//   os << t << ext::delimeter;                                   // top border
//   os << t << ext::beginrow << "name" << ext::nextrow << "x" << ext::nextrow
//      << ext::delimeter;                                        // header row
//   os << t << ext::beginrow << name << ext::nextrow << n << ext::nextrow;
//   os << t << ext::delimeter;                                   // bottom
// `ext::nextrow` ends one cell (in spite of its name); a row is closed when
// its last cell is written, or padded with blank cells when the writer goes
// at the end of the statement. Text collected after the last nextrow is
// dropped. Cells beyond the last column are dropped until the next beginrow.
// A cell text is centred and never cut: a longer text overflows its column.
#pragma once

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace ext {

class Table {
 public:
  class Sentry {
   public:
    Sentry(std::ostream& os, Table& table) : os_(os), table_(table) {}
    Sentry(const Sentry&) = delete;
    Sentry& operator=(const Sentry&) = delete;
    // Completes an open row with blank cells.
    ~Sentry() { table_.finalize(os_); }

    template <class T>
    const Sentry& put(const T& value) const {
      text_ << value;
      return *this;
    }
    const Sentry& resetrow() const;
    const Sentry& row() const;
    const Sentry& delimeter() const;

   private:
    std::ostream& os_;
    Table& table_;
    mutable std::ostringstream text_;
  };

  Table() = default;
  explicit Table(int w1) { add(w1); }
  Table(int w1, int w2) : Table(w1) { add(w2); }
  Table(int w1, int w2, int w3) : Table(w1, w2) { add(w3); }
  Table(int w1, int w2, int w3, int w4) : Table(w1, w2, w3) { add(w4); }
  Table(int w1, int w2, int w3, int w4, int w5) : Table(w1, w2, w3, w4) { add(w5); }
  Table(int w1, int w2, int w3, int w4, int w5, int w6) : Table(w1, w2, w3, w4, w5) { add(w6); }
  Table(int w1, int w2, int w3, int w4, int w5, int w6, int w7) : Table(w1, w2, w3, w4, w5, w6) { add(w7); }

  // A negative width counts as 0.
  void add(int width) { widths_.push_back(width < 0 ? 0 : width); }
  void init() { resetrow(); }
  void resetrow() {
    column_ = 0;
    open_ = false;
  }
  void row(std::ostream& os, const std::string& text);
  void finalize(std::ostream& os);
  void delimeter(std::ostream& os);
  void gap(std::ostream& os);

 private:
  void line(std::ostream& os, char edge, char fill);

  std::vector<int> widths_;
  unsigned int column_ = 0;
  bool open_ = false;
};

inline Table::Sentry operator<<(std::ostream& os, Table& t) { return Table::Sentry(os, t); }

template <class T>
const Table::Sentry& operator<<(const Table::Sentry& s, const T& value) {
  return s.put(value);
}

inline const Table::Sentry& operator<<(const Table::Sentry& s,
                                       const Table::Sentry& (*manip)(const Table::Sentry&)) {
  return manip(s);
}

// Starts a new row.
const Table::Sentry& beginrow(const Table::Sentry& s);
// Ends one cell.
const Table::Sentry& nextrow(const Table::Sentry& s);
// Closes an open row and draws a border line.
const Table::Sentry& delimeter(const Table::Sentry& s);

}  // namespace ext
