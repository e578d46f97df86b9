// A whole sign-in as the sign-in screen drives it, provider and tile, then deselection and the
// release of every object: afterwards no copy of the password may remain in this process but
// the one inside the serialization block that the host still holds.
#include <gtest/gtest.h>

#include "support/password_remnants.h"
#include "support/scripted_agent.h"
#include "support/whole_sign_in.h"

namespace {

// One sign-in against an agent that wipes every request it reads, typed from a copy of the
// password that is wiped as well; the agent is stopped before this returns.
WholeSignIn SignInAgainst(AgentBehaviour behaviour, ScriptedAgentOptions options, const MaskedPattern& password) {
    options.recordRequests = false;
    ScriptedAgent agent(std::move(behaviour), options);
    if (!agent.Start()) {
        ADD_FAILURE() << "the agent pipe is taken: " << GetLastError();
        return {};
    }
    const WidePassword typed(password);
    WholeSignIn signIn = RunWholeSignIn(L"remnant.check", typed.c_str());
    agent.Stop();
    return signIn;
}

TEST(SignInRemnants, OnlyTheHeldSerializationKeepsThePasswordAfterAnApproval) {
    const MaskedPattern password = MakePassword(96, 11);
    const PasswordWindows windows(password);
    WholeSignIn signIn =
        SignInAgainst(AgentBehaviour::ReplyWith(R"({"status":"OK","username":"remnant.account"})"), {}, password);
    ASSERT_EQ(CPGSR_RETURN_CREDENTIAL_FINISHED, signIn.response);

    // The packed logon carries the password in UTF-16, once; nothing else holds it in any form.
    EXPECT_EQ(windows.Utf8Copies(), 0u);
    EXPECT_EQ(windows.Utf16Copies(), 1u);

    FreeSerialization(signIn.serialization);
    ExpectNoRemnant(windows);
}

TEST(SignInRemnants, NoCopyOfThePasswordOutlivesARefusalOrAFailedWrite) {
    const MaskedPattern refused = MakePassword(96, 12);
    // Longer than the agent's input buffer, which it never reads: the write fails.
    const MaskedPattern unwritten = MakePassword(20000, 13);
    ScriptedAgentOptions unread;
    unread.readRequests = false;
    struct Case {
        const MaskedPattern& password;
        AgentBehaviour behaviour;
        ScriptedAgentOptions options;
        const wchar_t* text;
    } cases[] = {
        {refused, AgentBehaviour::ReplyWith(R"({"status":"NO","reason":"Wrong password."})"), {}, L"Wrong password."},
        {unwritten, AgentBehaviour::HangUp(), unread, L"qm-agent pipe write failed"},
    };
    for (Case& c : cases) {
        const PasswordWindows windows(c.password);
        const WholeSignIn signIn = SignInAgainst(std::move(c.behaviour), c.options, c.password);
        EXPECT_EQ(CPGSR_NO_CREDENTIAL_NOT_FINISHED, signIn.response);
        EXPECT_STREQ(c.text, signIn.statusText);
        EXPECT_EQ(nullptr, signIn.serialization.rgbSerialization);
        ExpectNoRemnant(windows);
    }
}

}  // namespace
