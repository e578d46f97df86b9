// The account a token stands for, and a SID as text: what the tools ask of their own token
// (who runs doctor, whose account the test agent serves as) and of a client's.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The token's user SID, held in buffer; null when it cannot be read (the thread's last error
// then says why). The token needs TOKEN_QUERY.
PSID TokenUserSid(HANDLE token, std::vector<BYTE>& buffer);

// "S-1-5-..." for sid; empty when it cannot be converted.
std::wstring SidString(PSID sid);
