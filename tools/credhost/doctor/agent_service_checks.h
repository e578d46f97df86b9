// The qm-agent service, when there is one: does it start at boot, under an account whose pipe
// the module can trust, and with a service SID of its own (NT SERVICE\qm-agent)?
//   start type: automatic is right; delayed automatic leaves sign-ins after boot refused for
//     minutes; manual or disabled leaves them refused until someone starts it; and a service
//     that is not running now, whatever its start type, leaves every sign-in refused now;
//   account: LocalSystem, or the virtual account NT SERVICE\qm-agent;
//   SID type: unrestricted (or restricted) gives the service its NT SERVICE\qm-agent SID; with
//     none, the service has no such SID, and a pipe descriptor that names it grants nothing.
// Without a service, the agent runs some other way; the pipe lines say whether it is reachable,
// and when no agent serves the pipe, that line is the only verdict on it.
#pragma once

#include "agent_service_name.h"
#include "check_report.h"

// Adds the agent service line, or its start type, account and SID type lines. pipeServed: the
// agent pipe check found the pipe served; without it and without a service, nothing is added.
void CheckAgentService(CheckReport& report, bool pipeServed);
