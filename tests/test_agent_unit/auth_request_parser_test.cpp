#include "auth_request.h"

#include <gtest/gtest.h>

#include <string>

namespace {

RequestParseStatus Parse(const std::string& text, AuthRequest& request) {
    return ParseAuthRequest(text.data(), text.size(), request);
}

std::string Text(const SecretBytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(AuthRequestParser, ReadsTheModulesRequestAndDecodesEveryEscape) {
    AuthRequest request;
    ASSERT_EQ(Parse(R"({"action":"AUTH","username":"alice","password":"pw"})", request), RequestParseStatus::Parsed);
    EXPECT_EQ(request.action, "AUTH");
    EXPECT_EQ(request.username, "alice");
    EXPECT_EQ(Text(request.password), "pw");

    ASSERT_EQ(Parse(" {\n\"username\" : \"a\\\"b\\\\c\\/d\\n\\t\\u00e9\\ud83d\\ude00\", \"password\":\"\\b\\f\\r\","
                    " \"action\":\"AUTH\", \"client\":\"extra\"}\r\n",
                    request),
              RequestParseStatus::Parsed);
    EXPECT_EQ(request.username, "a\"b\\c/d\n\t\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(Text(request.password), "\b\f\r");
    EXPECT_TRUE(request.hasAction && request.hasUsername && request.hasPassword);

    // Raw UTF-8 passes unchanged; an empty object parses with nothing present.
    ASSERT_EQ(Parse("{\"username\":\"J\xC3\xBCrgen \xE2\x82\xAC \xF0\x9F\x98\x80\"}", request),
              RequestParseStatus::Parsed);
    EXPECT_EQ(request.username, "J\xC3\xBCrgen \xE2\x82\xAC \xF0\x9F\x98\x80");
    ASSERT_EQ(Parse("{}", request), RequestParseStatus::Parsed);
    EXPECT_FALSE(request.hasAction || request.hasUsername || request.hasPassword);
}

TEST(AuthRequestParser, RefusesEverythingButOneFlatObjectOfStrings) {
    const std::string malformed[] = {
        "",
        "garbage",
        "[]",
        R"({"action":"AUTH")",  // unterminated object
        R"({"action":"AUTH"} trailing)",
        R"({"action":"AUTH"}{})",
        R"({"action":"AUTH",})",
        R"({"action" "AUTH"})",
        R"({action:"AUTH"})",
        R"({"action":1})",
        R"({"action":null})",
        R"({"action":{"nested":"x"}})",
        R"({"password":"a","password":"b"})",  // a key given twice
        R"({"username":"a","username":"a"})",
        std::string("{\"username\":\"a\x01\"}"),  // raw control character
        R"({"username":"\x"})",                   // unknown escape
        R"({"username":"\u12"})",                 // short \u
        R"({"username":"\u00zz"})",
        R"({"username":"\ud83d"})",  // unpaired surrogates
        R"({"username":"\ude00"})",
        R"({"username":"\ud83d\u0041"})",
        R"({"username":"\u0000"})",             // a NUL could cut a name short
        "{\"username\":\"\xC0\x80\"}",          // overlong NUL
        "{\"username\":\"\xED\xA0\x80\"}",      // encoded surrogate
        "{\"username\":\"\xF4\x90\x80\x80\"}",  // above U+10FFFF
        "{\"username\":\"\xE2\x82\"}",          // truncated sequence
        "{\"username\":\"\xFF\"}",
        R"({"username":"open)",
    };
    for (const std::string& text : malformed) {
        AuthRequest request;
        EXPECT_EQ(Parse(text, request), RequestParseStatus::Malformed) << text;
        EXPECT_FALSE(request.hasUsername || request.hasPassword || request.hasAction) << text;
        EXPECT_TRUE(request.password.empty() && request.username.empty()) << text;
    }
}

}  // namespace
