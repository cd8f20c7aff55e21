// Trace switches read from the configuration file's section "traces".
//
// One global instance, `traces`, all off at start. Keys (optional booleans):
// "signalling.hdlc" (the HDLC controller channel and the HDLC packet slot),
// "signalling.lemzgw" (read by nothing), "signalling.events" (the DSP
// receiver's events), "monitoring.internal" (monitoring). Each sub-section of
// "traces" is read in file order: it clears `hdlc`, `lemzgw` and `internal`
// first, while `events` keeps what an earlier sub-section set. A bad value is
// reported on the standard error stream after "traces: " and sets nothing.
#pragma once

#include "foundation/ini_file.h"

class TraceCtl {
 public:
  struct Signalling {
    bool hdlc = false;
    bool lemzgw = false;
    bool events = false;
  };
  struct Monitoring {
    bool internal = false;
  };

  void Configure(IniFile::Section& section);
  void Configure(IniFile::SubSection& subSection);

  Signalling signalling;
  Monitoring monitoring;
};

extern TraceCtl traces;
