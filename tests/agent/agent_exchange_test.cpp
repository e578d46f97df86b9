// The exchange against a real pipe server: the request bytes, the verdicts and the fields.
#include <string>
#include <utility>
#include <vector>

#include "exchange_helpers.h"
#include "support/free_handle_slots.h"

TEST(AgentExchange, RequestCarriesBothValuesEscapedOnOneLine) {
    const std::vector<std::pair<std::pair<std::wstring, std::wstring>, std::string>> cases = {
        {{L"alice", L"pw"}, R"({"action":"AUTH","username":"alice","password":"pw"})"},
        {{L"", L"pw"}, R"({"action":"AUTH","username":"","password":"pw"})"},
        {{L"a\"b\\c", L"p\"w\\"}, R"({"action":"AUTH","username":"a\"b\\c","password":"p\"w\\"})"},
        {{L"\b\t\n\f\r", L"x"}, R"({"action":"AUTH","username":"\b\t\n\f\r","password":"x"})"},
        {{L"\x01\x0b\x1f", L"\x7f/"},
         "{\"action\":\"AUTH\",\"username\":\"\\u0001\\u000b\\u001f\",\"password\":\"\x7f/\"}"},
        {{L"\u00e9", L"\xD83D\xDE00"},
         "{\"action\":\"AUTH\",\"username\":\"\xC3\xA9\",\"password\":\"\xF0\x9F\x98\x80\"}"},
        {{L"\xD800", L"\xDC00z"}, "{\"action\":\"AUTH\",\"username\":\"\xEF\xBF\xBD\",\"password\":\"\xEF\xBF\xBDz\"}"},
    };
    ScriptedAgent agent(AgentBehaviour::ReplyWith(R"({"status":"OK"})"));
    ASSERT_TRUE(agent.Start()) << GetLastError();
    for (const auto& c : cases) {
        EXPECT_EQ(Exchange(c.first.first.c_str(), c.first.second.c_str()).hr, S_OK);
    }
    agent.Stop();

    const std::vector<std::string> requests = agent.Requests();
    ASSERT_EQ(requests.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(requests[i], cases[i].second) << "case " << i;
    }
}

TEST(AgentExchange, ApprovalFillsTheAccountFieldsAndNoMessage) {
    Outcome full = ExchangeWithReply(
        R"({"status":"OK","username":"bob","full_name":"Bob B","source":"local","is_admin":true,"reason":"x"})");
    EXPECT_EQ(full.hr, S_OK);
    EXPECT_EQ(full.result.status, AgentAuthApproved);
    EXPECT_TRUE(IsAllZero(full.result.message));
    EXPECT_STREQ(full.result.user_name, L"bob");
    EXPECT_STREQ(full.result.full_name, L"Bob B");
    EXPECT_STREQ(full.result.source, L"local");
    EXPECT_EQ(full.result.is_admin, 1);
    EXPECT_TRUE(IsZeroAfterText(full.result.user_name));

    // Only "status": an approval with every other field empty (the caller then uses the typed name).
    ExpectOnlyMessage(ExchangeWithReply(R"({"status":"OK"})"), S_OK, AgentAuthApproved, L"");

    // Values convert from UTF-8, stop at a zero byte, and take U+FFFD for invalid bytes.
    static const char kOdd[] =
        "{\"status\":\"OK\",\"username\":\"bo\0b\",\"full_name\":\"Ren\xC3\xA9\",\"source\":\"\xFF\"}";
    Outcome odd = ExchangeWithReply(std::string(kOdd, sizeof kOdd - 1));
    EXPECT_EQ(odd.result.status, AgentAuthApproved);
    EXPECT_STREQ(odd.result.user_name, L"bo");
    EXPECT_STREQ(odd.result.full_name, L"Ren\u00e9");
    EXPECT_STREQ(odd.result.source, L"\xFFFD");
}

TEST(AgentExchange, AnyStatusButExactlyOkIsADenial) {
    const std::vector<std::pair<std::string, std::wstring>> cases = {
        {R"({"status":"ok"})", L"Authentication denied."},
        {R"({"status":"OK "})", L"Authentication denied."},
        {R"({"status":"DENIED"})", L"Authentication denied."},
        {R"({"reason":"no status"})", L"no status"},
        {"not json at all", L"Authentication denied."},
        {R"({"status":"DENIED","reason":""})", L"Authentication denied."},
        {R"({"status":"DENIED","reason":"Account locked"})", L"Account locked"},
        {"{\"status\":\"NO\",\"reason\":\"Konto gesperrt \xC3\xBC\"}", L"Konto gesperrt \u00fc"},
        {R"({"status":"NO","reason":"x","username":"bob","is_admin":true})", L"x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        ExpectOnlyMessage(ExchangeWithReply(c.first), S_OK, AgentAuthDenied, c.second);
    }
}

TEST(AgentExchange, IsAdminIsSetOnlyByExactlyTrue) {
    const std::vector<std::pair<std::string, INT32>> cases = {
        {R"({"status":"OK","is_admin":true})", 1},        {R"({"status":"OK","is_admin":"true"})", 1},
        {"{\"status\":\"OK\",\"is_admin\":true \t }", 1}, {R"({"status":"OK","is_admin":True})", 0},
        {R"({"status":"OK","is_admin":"TRUE"})", 0},      {R"({"status":"OK","is_admin":1})", 0},
        {"{\"status\":\"OK\",\"is_admin\":true\n}", 0},   {R"({"status":"OK","is_admin":false})", 0},
    };
    for (const auto& c : cases) {
        const Outcome outcome = ExchangeWithReply(c.first);
        EXPECT_EQ(outcome.result.status, AgentAuthApproved) << c.first;
        EXPECT_EQ(outcome.result.is_admin, c.second) << c.first;
    }
}

// Limits count UTF-16 units: U+1F600 is two of them, U+00E9 one.
TEST(AgentExchange, ValuesTooLongForTheirFieldLeaveOnlyThatFieldEmpty) {
    const std::string smiley = "\xF0\x9F\x98\x80";
    auto repeat = [](const std::string& s, size_t n) {
        std::string out;
        for (size_t i = 0; i < n; ++i) {
            out += s;
        }
        return out;
    };
    const std::string fits255 = repeat(smiley, 127) + "a";
    const std::string over255 = repeat(smiley, 128);
    const std::string fits31 = repeat("\xC3\xA9", 31);
    const std::string over31 = repeat("\xC3\xA9", 32);

    Outcome fit = ExchangeWithReply(R"({"status":"OK","username":")" + fits255 + R"(","full_name":")" + fits255 +
                                    R"(","source":")" + fits31 + R"(","is_admin":true})");
    EXPECT_EQ(fit.result.status, AgentAuthApproved);
    EXPECT_EQ(std::wcslen(fit.result.user_name), 255u);
    EXPECT_EQ(std::wcslen(fit.result.full_name), 255u);
    EXPECT_EQ(std::wcslen(fit.result.source), 31u);

    Outcome longName = ExchangeWithReply(R"({"status":"OK","username":")" + over255 +
                                         R"(","full_name":"Bob","source":")" + over31 + R"(","is_admin":true})");
    EXPECT_EQ(longName.hr, S_OK);
    EXPECT_EQ(longName.result.status, AgentAuthApproved);
    EXPECT_TRUE(IsAllZero(longName.result.user_name));
    EXPECT_TRUE(IsAllZero(longName.result.source));
    EXPECT_STREQ(longName.result.full_name, L"Bob");
    EXPECT_EQ(longName.result.is_admin, 1);

    Outcome longFullName = ExchangeWithReply(R"({"status":"OK","username":"bob","full_name":")" + over255 + R"("})");
    EXPECT_STREQ(longFullName.result.user_name, L"bob");
    EXPECT_TRUE(IsAllZero(longFullName.result.full_name));

    Outcome reasonFits = ExchangeWithReply(R"({"status":"NO","reason":")" + fits255 + R"("})");
    EXPECT_EQ(std::wcslen(reasonFits.result.message), 255u);

    ExpectOnlyMessage(ExchangeWithReply(R"({"status":"NO","reason":")" + over255 + R"("})"), S_OK, AgentAuthDenied,
                      L"");
}

TEST(AgentExchange, ReplyOf4095BytesIsReadAndLongerRepliesFail) {
    const Outcome largest = ExchangeWithReply(ApprovalOfSize(4095));
    EXPECT_EQ(largest.hr, S_OK);
    EXPECT_EQ(largest.result.status, AgentAuthApproved);
    EXPECT_STREQ(largest.result.user_name, L"bob");

    for (size_t size : {4096u, 4097u, 70000u}) {
        ExpectNoVerdict(ExchangeWithReply(ApprovalOfSize(size)), E_FAIL, L"qm-agent pipe read failed");
    }
}

TEST(AgentExchange, EveryExchangeUsesItsOwnConnectionAndNothingIsLeftOpen) {
    auto script = [](std::string_view request) {
        if (request.find("\"username\":\"hangup\"") != std::string_view::npos) {
            return AgentBehaviour::HangUp();
        }
        if (request.find("\"username\":\"long\"") != std::string_view::npos) {
            return AgentBehaviour::ReplyWith(ApprovalOfSize(5000));
        }
        return AgentBehaviour::ReplyWith(R"({"status":"OK","username":"bob"})");
    };
    {
        ScriptedAgent warmUp(script);  // the first thread and pipe may set up lasting runtime state
        ASSERT_TRUE(warmUp.Start()) << GetLastError();
        Exchange();
    }

    const std::vector<HANDLE> before = FreeHandleSlots();
    ScriptedAgent agent(script);
    ASSERT_TRUE(agent.Start()) << GetLastError();
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(Exchange(L"bob").result.status, AgentAuthApproved);
        ASSERT_EQ(Exchange(L"hangup").hr, E_FAIL);
        ASSERT_EQ(Exchange(L"long").hr, E_FAIL);
    }
    agent.Stop();
    EXPECT_EQ(FreeHandleSlots(), before);
    EXPECT_EQ(agent.Connections(), 300);
}
