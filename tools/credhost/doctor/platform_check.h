// The machine's own processor: the sign-in screen of ARM64 Windows is an ARM64 process and
// cannot load an x64 provider, even where Windows runs x64 programs (this one included) by
// emulation. Windows Installer offers no reliable property to refuse such a machine, so doctor
// says it.
#pragma once

#include "check_report.h"

void CheckPlatform(CheckReport& report);
