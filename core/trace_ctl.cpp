#include "core/trace_ctl.h"

#include <iostream>

#include "foundation/ini_reader.h"

TraceCtl traces;

void TraceCtl::Configure(IniFile::Section& section) {
  for (IniFile::SubSection& sub : section) Configure(sub);
}

void TraceCtl::Configure(IniFile::SubSection& subSection) {
  IniFile::Reader reader("traces: ", std::cerr);
  signalling.hdlc = false;
  signalling.lemzgw = false;
  monitoring.internal = false;
  reader.optional.add(&signalling.hdlc, "signalling.hdlc");
  reader.optional.add(&signalling.lemzgw, "signalling.lemzgw");
  reader.optional.add(&signalling.events, "signalling.events");
  reader.optional.add(&monitoring.internal, "monitoring.internal");
  reader(subSection);
}
