// GeneralizedTime: calendar fields with milliseconds, UTC offset and a UTC
// flag; text form YYYYMMDDHHMMSS[.fff][Z|+hhmm|-hhmm].
#ifndef ASN1_GENERALIZED_TIME_H
#define ASN1_GENERALIZED_TIME_H

#include <ctime>
#include <string>

#include "asn1/abstract_data.h"

namespace ASN1 {

class GeneralizedTime : public AbstractData, public detail::Allocator<GeneralizedTime> {
 public:
  static const InfoType theInfo;

  GeneralizedTime() : GeneralizedTime(&theInfo) {}
  explicit GeneralizedTime(const InfoType* info);
  explicit GeneralizedTime(const char* text);
  GeneralizedTime(int year, int month, int day, int hour, int minute, int second, int millisec,
                  int mindiff, bool utc);
  GeneralizedTime(const GeneralizedTime&) = default;
  GeneralizedTime& operator=(const GeneralizedTime& other);
  void swap(GeneralizedTime& other);

  static AbstractData* create(const TypeInfo* info);

  // Reads the text form. False, with the value unchanged, when the text is
  // shorter than the 14 digits of date and time or they are not digits.
  bool set(const char* text);
  std::string get() const;
  time_t get_time_t() const;  // as local time
  void set_time_t(time_t t);  // broken down as UTC

  int getYear() const { return year_; }
  int getMonth() const { return month_; }
  int getDay() const { return day_; }
  int getHour() const { return hour_; }
  int getMinute() const { return minute_; }
  int getSecond() const { return second_; }
  int getMillisec() const { return millisec_; }
  int getMinDiff() const { return mindiff_; }
  bool getUTC() const { return utc_; }
  // The checks of constraint_checker.h for this value with its contents.
  bool isValid() const { return AbstractData::isValid(); }
  bool isStrictlyValid() const { return AbstractData::isStrictlyValid(); }

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;

 private:
  int year_, month_, day_, hour_, minute_, second_, millisec_, mindiff_;
  bool utc_;
};

}  // namespace ASN1

#endif
