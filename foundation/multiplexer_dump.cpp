// The loop's texts: poll masks and its section of the status dump.
#include <ostream>

#include "foundation/multiplexer.h"
#include "foundation/profile.h"
#include "foundation/text_table.h"

std::string PollEventAsText(short mask) {
  static const struct {
    short bit;
    const char* text;
  } kNames[] = {
      {0x001, "|POLLIN"},     {0x002, "|POLLPRI"},    {0x004, "|POLLOUT"},    {0x008, "|POLLERR"},
      {0x010, "|POLLHUP"},    {0x020, "|POLLNVAL"},   {0x040, "|POLLRDNORM"}, {0x080, "|POLLRDBAND"},
      {0x100, "|POLLWRNORM"}, {0x200, "|POLLWRBAND"}, {0x400, "|POLLMSG"},
  };
  std::string text;
  for (const auto& name : kNames)
    if (mask & name.bit) text += name.text;
  if (!text.empty()) text.erase(0, 1);
  return text;
}

void Multiplexer::dump(std::ostream& os) const {
  os << "dpc transition measurement (min/max/cur/counter): " << dpcMeasure_ << std::endl;
  os << "event transition measurement (min/max/cur/counter): " << eventMeasure_ << std::endl;
  os << "timer transition measurement (min/max/cur/counter): " << timerMeasure_ << std::endl;
  Profile::dump(os);

  ext::Table table(40, 30, 10, 10, 5, 60);
  os << table << ext::delimeter;
  os << table << ext::beginrow << "name" << ext::nextrow << "events" << ext::nextrow << "count" << ext::nextrow
     << "handler" << ext::nextrow << "fd" << ext::nextrow << "measure" << ext::nextrow << ext::delimeter;
  for (EventHandler* h : active_) {
    if (!h->is_named()) continue;
    // Event is the only named handler.
    const Event* e = dynamic_cast<const Event*>(h);
    if (!e) continue;
    os << table << ext::beginrow << e->event_name() << ext::nextrow << PollEventAsText(e->events())
       << ext::nextrow << e->count() << ext::nextrow << (e->bound() ? "attached" : "unattached")
       << ext::nextrow << e->lowlevel_fd() << ext::nextrow << e->measure() << ext::nextrow;
  }
  os << table << ext::delimeter;
  os << std::endl;
}
