// The controller's link-information record of an ISDN D channel, filled from
// the LAPD link's report; shared by the slots that run a LAPD link.
#pragma once

#include "messages/acp/ACP.h"
#include "signalling/lapd/lapd.h"

void FillIsdnLinkInfo(ACP::IsdnLinkInfo& record, const ISDN::LAPD::Info& info,
                      ACP::IsdnSide::NamedNumber side);
