// A test credential provider with one field of every type and every field state, two tiles (three after
// CredentialsChanged), and reactions that exercise each of the host's event calls; for credhost window's test.
#pragma once

#include <windows.h>

// {5E1F7A2C-3B4D-4E6F-8A9B-0C1D2E3F4A5B}
inline constexpr wchar_t kEveryFieldProviderClsid[] = L"{5E1F7A2C-3B4D-4E6F-8A9B-0C1D2E3F4A5B}";

enum EveryField : DWORD {
    EveryImage,
    EveryLarge,
    EverySmall,
    EveryEdit,
    EveryPassword,
    EverySubmit,
    EveryCheckbox,
    EveryCombo,
    EveryLink,
    EveryHidden,
    EveryReadOnly,
    EveryDisabled,
    EveryFieldCount
};
