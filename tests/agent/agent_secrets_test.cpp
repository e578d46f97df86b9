// What the exchange leaves behind: no copy of the password in this process's memory, and no
// verdict, exception or leak when memory runs out.
#include <vector>

#include "exchange_helpers.h"
#include "support/failing_new.h"
#include "support/password_remnants.h"

// The control for the scans below: a freed block that was not wiped is found, a wiped one not.
TEST(AgentExchangeSecrets, ScanFindsUnwipedFreedCopiesOnly) {
    const MaskedPattern unwiped = MakePassword(64, 1);
    const MaskedPattern wiped = MakePassword(64, 2);
    const PasswordWindows unwipedWindows(unwiped);
    const PasswordWindows wipedWindows(wiped);
    {
        std::vector<char> plainCopy(64);
        SecureBytes secureCopy(64);
        for (size_t i = 0; i < 64; ++i) {
            plainCopy[i] = unwiped.PlainAt(i);
            secureCopy[i] = wiped.PlainAt(i);
        }
        EXPECT_EQ(wipedWindows.head.CountInProcessMemory(), 1u);
    }
    EXPECT_GE(unwipedWindows.head.CountInProcessMemory(), 1u);
    EXPECT_GE(unwipedWindows.middle.CountInProcessMemory(), 1u);
    ExpectNoRemnant(wipedWindows);
}

TEST(AgentExchangeSecrets, NoCopyOfThePasswordOutlivesAnApproval) {
    const MaskedPattern password = MakePassword(64, 3);
    const PasswordWindows windows(password);
    ScriptedAgentOptions forgetful;
    forgetful.recordRequests = false;
    ScriptedAgent agent(AgentBehaviour::ReplyWith(R"({"status":"OK","username":"bob"})"), forgetful);
    ASSERT_TRUE(agent.Start()) << GetLastError();
    {
        const WidePassword wide(password);
        EXPECT_EQ(Exchange(L"alice", wide.c_str()).result.status, AgentAuthApproved);
    }
    agent.Stop();
    ExpectNoRemnant(windows);
}

TEST(AgentExchangeSecrets, NoCopyOfThePasswordOutlivesAFailedWrite) {
    const MaskedPattern password = MakePassword(20000, 4);  // longer than the agent's input buffer
    const PasswordWindows windows(password);
    ScriptedAgentOptions unread;
    unread.readRequests = false;
    ScriptedAgent agent(AgentBehaviour::HangUp(), unread);
    ASSERT_TRUE(agent.Start()) << GetLastError();
    {
        const WidePassword wide(password);
        EXPECT_EQ(Exchange(L"alice", wide.c_str()).result.status, AgentAuthNoVerdict);
    }
    agent.Stop();
    ExpectNoRemnant(windows);
}

// Every allocation of the exchange fails in turn, from the first on, until one run gets through:
// each shortened run must end without a verdict and without an exception.
TEST(AgentExchangeSecrets, RunningOutOfMemoryGivesNoVerdict) {
    const std::string longValue(40, 'v');  // past the small-string buffer: the lookup allocates
    ScriptedAgent agent([&](std::string_view request) {
        if (request.find("\"username\":\"deny\"") != std::string_view::npos) {
            return AgentBehaviour::ReplyWith(R"({"status":"NO","reason":")" + longValue + R"("})");
        }
        return AgentBehaviour::ReplyWith(R"({"status":"OK","username":")" + longValue + R"(","full_name":")" +
                                         longValue + R"("})");
    });
    ASSERT_TRUE(agent.Start()) << GetLastError();

    for (PCWSTR userName : {L"approve-someone", L"deny"}) {
        size_t budget = 0;
        int refusedAfterTheAgentAnswered = 0;
        for (;; ++budget) {
            ASSERT_LT(budget, 50u) << "the exchange never got through";
            const int connectionsBefore = agent.Connections();
            const int requestsBefore = static_cast<int>(agent.Requests().size());
            Outcome outcome;
            bool refused = false;
            {
                AllocationBudget limit(budget);
                outcome = Exchange(userName, L"a password of some length");
                refused = limit.Exhausted();
            }
            if (!refused) {
                EXPECT_EQ(outcome.hr, S_OK);
                break;
            }
            ExpectNoVerdict(outcome, E_OUTOFMEMORY, L"");
            ASSERT_TRUE(agent.WaitForConnections(connectionsBefore + 1, 5000));
            const std::vector<std::string> requests = agent.Requests();
            if (static_cast<int>(requests.size()) > requestsBefore && !requests.back().empty()) {
                ++refusedAfterTheAgentAnswered;
            }
        }
        EXPECT_GE(budget, 4u) << userName;                       // both values and the request were built first
        EXPECT_GE(refusedAfterTheAgentAnswered, 1) << userName;  // and the reply's values after
    }
}
