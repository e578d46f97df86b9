// A whole sign-in as the sign-in screen drives it, provider and tile, then deselection and the
// release of every object: afterwards no copy of the password may remain in this process but
// the one inside the serialization block that the host still holds.
#include <gtest/gtest.h>

#include <windows.h>
#include <credentialprovider.h>

#include <new>

#include "provider/credential_provider.h"
#include "support/password_remnants.h"
#include "support/scripted_agent.h"
#include "tile_field_id.h"

namespace {

// Runs one sign-in against agent and returns the serialization (empty unless approved).
CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION SignInAndReleaseAll(const MaskedPattern& password,
                                                                CREDENTIAL_PROVIDER_GET_SERIALIZATION_RESPONSE expected) {
    CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION serialization = {};
    CQMCredProvider* provider = new (std::nothrow) CQMCredProvider();
    EXPECT_EQ(S_OK, provider->SetUsageScenario(CPUS_LOGON, 0));
    ICredentialProviderCredential* tile = nullptr;
    EXPECT_EQ(S_OK, provider->GetCredentialAt(0, &tile));
    BOOL autoLogon = FALSE;
    tile->SetSelected(&autoLogon);
    tile->SetStringValue(FieldUserName, L"remnant.check");
    {
        const WidePassword typed(password);
        tile->SetStringValue(FieldPassword, typed.c_str());
    }
    CREDENTIAL_PROVIDER_GET_SERIALIZATION_RESPONSE response = CPGSR_NO_CREDENTIAL_FINISHED;
    PWSTR statusText = nullptr;
    CREDENTIAL_PROVIDER_STATUS_ICON icon = CPSI_NONE;
    EXPECT_EQ(S_OK, tile->GetSerialization(&response, &serialization, &statusText, &icon));
    EXPECT_EQ(expected, response);
    CoTaskMemFree(statusText);
    tile->SetDeselected();
    tile->Release();
    EXPECT_EQ(0u, provider->Release());
    return serialization;
}

void ExpectNoRemnantAfterRefusal(const MaskedPattern& password, AgentBehaviour behaviour, ScriptedAgentOptions options) {
    const PasswordWindows windows(password);
    options.recordRequests = false;
    ScriptedAgent agent(std::move(behaviour), options);
    ASSERT_TRUE(agent.Start()) << GetLastError();
    const auto serialization = SignInAndReleaseAll(password, CPGSR_NO_CREDENTIAL_NOT_FINISHED);
    agent.Stop();
    EXPECT_EQ(nullptr, serialization.rgbSerialization);
    ExpectNoRemnant(windows);
}

TEST(SignInRemnants, OnlyTheHeldSerializationKeepsThePasswordAfterAnApproval) {
    const MaskedPattern password = MakePassword(96, 11);
    const PasswordWindows windows(password);
    ScriptedAgentOptions forgetful;
    forgetful.recordRequests = false;
    ScriptedAgent agent(AgentBehaviour::ReplyWith(R"({"status":"OK","username":"remnant.account"})"), forgetful);
    ASSERT_TRUE(agent.Start()) << GetLastError();
    const auto serialization = SignInAndReleaseAll(password, CPGSR_RETURN_CREDENTIAL_FINISHED);
    agent.Stop();
    ASSERT_NE(nullptr, serialization.rgbSerialization);

    // The packed logon carries the password in UTF-16, once; nothing else holds it in any form.
    EXPECT_EQ(windows.Utf8Copies(), 0u);
    EXPECT_EQ(windows.Utf16Copies(), 1u);

    SecureZeroMemory(serialization.rgbSerialization, serialization.cbSerialization);
    CoTaskMemFree(serialization.rgbSerialization);
    ExpectNoRemnant(windows);
}

TEST(SignInRemnants, NoCopyOfThePasswordOutlivesARefusalOrAFailedWrite) {
    ExpectNoRemnantAfterRefusal(MakePassword(96, 12),
                                AgentBehaviour::ReplyWith(R"({"status":"NO","reason":"Invalid username or password."})"),
                                {});
    // Longer than the agent's input buffer, which it never reads: the write fails.
    ScriptedAgentOptions unread;
    unread.readRequests = false;
    ExpectNoRemnantAfterRefusal(MakePassword(20000, 13), AgentBehaviour::HangUp(), unread);
}

}  // namespace
