#include "auth_request_handler.h"

#include "agent_test_users.h"

#include <gtest/gtest.h>

namespace {

AgentDecision Decide(const std::string& request, const UserStore& store) {
    return HandleAuthRequest(request.data(), request.size(), store);
}

std::string Request(const std::string& user, const std::string& password) {
    return R"({"action":"AUTH","username":")" + user + R"(","password":")" + password + R"("})";
}

void ExpectNoPassword(const AgentDecision& decision, const std::string& password) {
    EXPECT_EQ(decision.reply.find(password), std::string::npos);
    EXPECT_EQ(decision.logUser.find(password), std::string::npos);
    EXPECT_EQ(decision.verdict.find(password), std::string::npos);
}

TEST(AuthRequestHandler, ApprovesAStoredPasswordWithTheAccountsDetails) {
    const UserStore store = TestUsers();
    AgentDecision decision = Decide(Request("alice", kAlicePassword), store);
    EXPECT_TRUE(decision.approved);
    EXPECT_EQ(decision.reply,
              R"({"status":"OK","username":"alice","full_name":"Alice Admin","source":"test-agent","is_admin":true})");
    EXPECT_EQ(decision.verdict, "OK");
    ExpectNoPassword(decision, kAlicePassword);

    // By email and in other case: the reply names the stored account, which the module signs in.
    decision = Decide(Request("ALICE@Example.TEST", kAlicePassword), store);
    EXPECT_TRUE(decision.approved);
    EXPECT_NE(decision.reply.find(R"("username":"alice")"), std::string::npos);
    EXPECT_EQ(decision.logUser, "ALICE@Example.TEST");

    // A password with escapes and non-ASCII characters is compared after decoding.
    decision = Decide(Request("Bob", "b0b-\\u00e9t\xC3\xA9"), store);
    EXPECT_TRUE(decision.approved);
    EXPECT_NE(decision.reply.find(R"("is_admin":false)"), std::string::npos);
}

TEST(AuthRequestHandler, WrongPasswordAndUnknownUserGetTheSameRefusal) {
    const UserStore store = TestUsers();
    const AgentDecision wrong = Decide(Request("alice", "correct horsE"), store);
    const AgentDecision unknown = Decide(Request("mallory", kAlicePassword), store);
    const AgentDecision empty = Decide(Request("alice", ""), store);
    const AgentDecision noName = Decide(Request("", kAlicePassword), store);
    for (const AgentDecision* decision : {&wrong, &unknown, &empty, &noName}) {
        EXPECT_FALSE(decision->approved);
        EXPECT_EQ(decision->reply, R"({"status":"DENIED","reason":"Invalid username or password."})");
        ExpectNoPassword(*decision, kAlicePassword);
    }
    EXPECT_EQ(wrong.verdict, "DENIED (wrong password)");
    EXPECT_EQ(unknown.verdict, "DENIED (unknown user)");
    EXPECT_EQ(empty.verdict, "DENIED (empty password)");
}

TEST(AuthRequestHandler, BadRequestsAreRefusedWithAReason) {
    const UserStore store = TestUsers();
    struct Case {
        std::string request;
        const char* reply;
        const char* verdict;
    } const cases[] = {
        {"not json", R"({"status":"ERROR","reason":"Malformed request."})", "REFUSED (malformed request)"},
        {R"({"action":"AUTH","username":"alice"})", R"({"status":"ERROR","reason":"Malformed request."})",
         "REFUSED (malformed request)"},
        {R"({"username":"alice","password":"x"})", R"({"status":"ERROR","reason":"Malformed request."})",
         "REFUSED (malformed request)"},
        {R"({"action":"auth","username":"alice","password":"correct horse"})",
         R"({"status":"ERROR","reason":"Unsupported action."})", "REFUSED (unsupported action)"},
    };
    for (const Case& c : cases) {
        const AgentDecision decision = Decide(c.request, store);
        EXPECT_FALSE(decision.approved) << c.request;
        EXPECT_EQ(decision.reply, c.reply) << c.request;
        EXPECT_EQ(decision.verdict, c.verdict) << c.request;
    }
    // A request whose name survives parsing is logged by it; an unparsable one is not.
    EXPECT_EQ(Decide(R"({"action":"AUTH","username":"alice"})", store).logUser, "alice");
    EXPECT_EQ(Decide("{", store).logUser, "-");
}

TEST(AuthRequestHandler, ReplyValuesStayReadableByALookupThatDoesNotDecodeEscapes) {
    // Only reply-safe names reach the store, so no reply value needs an escape.
    UserStore store;
    std::string error;
    EXPECT_FALSE(store.Add(TestUser("eve\"", "", "", false, "pw"), error));
    EXPECT_FALSE(store.Add(TestUser("eve", "", "Eve \\ Evil", false, "pw"), error));
    EXPECT_FALSE(store.Add(TestUser("eve", "", "Line\nbreak", false, "pw"), error));
    EXPECT_FALSE(store.Add(TestUser(std::string(256, 'e'), "", "", false, "pw"), error));
    EXPECT_TRUE(store.Add(TestUser(std::string(255, 'e'), "", "", false, "pw"), error)) << error;
    EXPECT_FALSE(store.Add(TestUser(std::string(255, 'E'), "", "", false, "pw"), error));
    EXPECT_EQ(error, "a user with that name or email already exists");
}

}  // namespace
