#include "asn1/generalized_time.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "asn1/visitor.h"

namespace ASN1 {

const GeneralizedTime::InfoType GeneralizedTime::theInfo = {&GeneralizedTime::create, 24};

GeneralizedTime::GeneralizedTime(const InfoType* info)
    : AbstractData(info),
      year_(1), month_(1), day_(1), hour_(0), minute_(0), second_(0), millisec_(0), mindiff_(0),
      utc_(false) {}

GeneralizedTime::GeneralizedTime(const char* text) : GeneralizedTime(&theInfo) { set(text); }

GeneralizedTime::GeneralizedTime(int year, int month, int day, int hour, int minute, int second,
                                 int millisec, int mindiff, bool utc)
    : AbstractData(&theInfo),
      year_(year), month_(month), day_(day), hour_(hour), minute_(minute), second_(second),
      millisec_(millisec), mindiff_(mindiff), utc_(utc) {}

GeneralizedTime& GeneralizedTime::operator=(const GeneralizedTime& other) {
  year_ = other.year_;
  month_ = other.month_;
  day_ = other.day_;
  hour_ = other.hour_;
  minute_ = other.minute_;
  second_ = other.second_;
  millisec_ = other.millisec_;
  mindiff_ = other.mindiff_;
  utc_ = other.utc_;
  return *this;
}

void GeneralizedTime::swap(GeneralizedTime& other) {
  GeneralizedTime tmp(other);
  other = *this;
  *this = tmp;
}

AbstractData* GeneralizedTime::create(const TypeInfo* info) { return new GeneralizedTime(info); }

namespace {
int digits(const char* p, int n) {
  int v = 0;
  for (int i = 0; i < n; ++i) v = v * 10 + (p[i] - '0');
  return v;
}
bool allDigits(const char* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (!std::isdigit(static_cast<unsigned char>(p[i]))) return false;
  return true;
}
}  // namespace

bool GeneralizedTime::set(const char* text) {
  // The form has fixed positions: refuse a text too short to hold them rather
  // than read past its end.
  const std::size_t len = std::strlen(text);
  if (len < 14 || !allDigits(text, 14)) return false;
  year_ = digits(text, 4);
  month_ = digits(text + 4, 2);
  day_ = digits(text + 6, 2);
  hour_ = digits(text + 8, 2);
  minute_ = digits(text + 10, 2);
  second_ = digits(text + 12, 2);
  if (len > 14 && text[14] == '.') {
    // The fraction's first three digits, truncated: exact, unlike a double.
    int ms = 0;
    const char* p = text + 15;
    for (int i = 0; i < 3; ++i) {
      ms *= 10;
      if (std::isdigit(static_cast<unsigned char>(*p))) ms += *p++ - '0';
    }
    millisec_ = ms;
  }
  if (text[len - 1] == 'Z') {
    utc_ = true;
  } else if (len >= 19 && (text[len - 5] == '+' || text[len - 5] == '-') && allDigits(text + len - 4, 4)) {
    const int minutes = digits(text + len - 4, 2) * 60 + digits(text + len - 2, 2);
    mindiff_ = text[len - 5] == '-' ? -minutes : minutes;
  }
  return true;
}

std::string GeneralizedTime::get() const {
  char buf[96];
  int n = std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", year_, month_, day_, hour_,
                        minute_, second_);
  std::string text(buf, n > 0 ? std::size_t(n) : 0);
  if (millisec_ != 0) {
    n = std::snprintf(buf, sizeof buf, ".%03d", millisec_);
    text.append(buf, n > 0 ? std::size_t(n) : 0);
  }
  if (utc_) {
    text += 'Z';
  } else if (mindiff_ != 0) {
    const int a = mindiff_ < 0 ? -mindiff_ : mindiff_;
    n = std::snprintf(buf, sizeof buf, "%c%02d%02d", mindiff_ < 0 ? '-' : '+', a / 60, a % 60);
    text.append(buf, n > 0 ? std::size_t(n) : 0);
  }
  return text;
}

time_t GeneralizedTime::get_time_t() const {
  struct tm t;
  std::memset(&t, 0, sizeof t);
  t.tm_year = year_ - 1900;
  t.tm_mon = month_ - 1;
  t.tm_mday = day_;
  t.tm_hour = hour_;
  t.tm_min = minute_;
  t.tm_sec = second_;
  t.tm_isdst = -1;
  return mktime(&t);
}

void GeneralizedTime::set_time_t(time_t value) {
  struct tm t;
  if (gmtime_r(&value, &t) == nullptr) return;
  year_ = t.tm_year + 1900;
  month_ = t.tm_mon + 1;
  day_ = t.tm_mday;
  hour_ = t.tm_hour;
  minute_ = t.tm_min;
  second_ = t.tm_sec;
}

int GeneralizedTime::do_compare(const AbstractData& otherData) const {
  const GeneralizedTime& o = static_cast<const GeneralizedTime&>(otherData);
  if (year_ != o.year_) return year_ - o.year_;
  if (month_ != o.month_) return month_ - o.month_;
  if (day_ != o.day_) return day_ - o.day_;
  if (hour_ != o.hour_) return hour_ - o.hour_;
  if (minute_ != o.minute_) return minute_ - o.minute_;
  if (second_ != o.second_) return second_ - o.second_;
  if (millisec_ != o.millisec_) return millisec_ - o.millisec_;
  return int(utc_) - int(o.utc_);
}

AbstractData* GeneralizedTime::do_clone() const { return cloneAs<GeneralizedTime>(); }

bool GeneralizedTime::do_accept(Visitor& v) { return v.visit(*this); }
bool GeneralizedTime::do_accept(ConstVisitor& v) const { return v.visit(*this); }

}  // namespace ASN1
