// When the tile window asks the provider's thread to read the tiles again after
// CredentialsChanged. At most one re-read runs or waits at a time: any number of
// CredentialsChanged raised during a re-read make one more, not one each. A provider that raises
// it during every re-read (from GetCredentialCount, say) would be read for ever; after
// kMaxRereadRounds such rounds in a row it is given up on, and later CredentialsChanged are
// ignored. The window's thread alone uses it.
#pragma once

#include <windows.h>

inline constexpr DWORD kMaxRereadRounds = 10;

class RereadSchedule {
public:
    enum class Next { Nothing, ReadAgain, GiveUp };

    Next OnCredentialsChanged() noexcept {
        if (m_givenUp) {
            return Next::Nothing;
        }
        if (m_reading) {
            m_raisedWhileReading = true;
            return Next::Nothing;
        }
        m_reading = true;
        return Next::ReadAgain;
    }

    // The answer to a re-read arrived (the tiles, or why they could not be read).
    Next OnReread() noexcept {
        m_reading = false;
        if (!m_raisedWhileReading) {
            m_rounds = 0;
            return Next::Nothing;
        }
        m_raisedWhileReading = false;
        if (++m_rounds >= kMaxRereadRounds) {
            m_givenUp = true;
            return Next::GiveUp;
        }
        m_reading = true;
        return Next::ReadAgain;
    }

private:
    bool m_reading = false;
    bool m_raisedWhileReading = false;
    DWORD m_rounds = 0;
    bool m_givenUp = false;
};
