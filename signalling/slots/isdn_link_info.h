// The controller's link-information record of an ISDN D channel, filled from
// the LAPD link's report; shared by the slots that run a LAPD link.
#pragma once

#include "core/slot.h"
#include "messages/acp/ACP.h"
#include "signalling/lapd/lapd.h"

void FillIsdnLinkInfo(ACP::IsdnLinkInfo& record, const ISDN::LAPD::Info& info,
                      ACP::IsdnSide::NamedNumber side);

// An `ioctl` signal with `isdnLinkInfo` from `slot`, when the link's record
// changed since the last one.
void ReportIsdnLinkInfo(Slot& slot, const ISDN::LAPD& lapd, bool networkSide);
