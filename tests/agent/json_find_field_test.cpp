// The flat key lookup of the reply: what it extracts, and what it leaves untouched.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "agent/json_find_field.h"

namespace {

struct Lookup {
    std::string text;
    const char* key;
    std::optional<std::string> value;  // none: no value, the output keeps its old content
};

void ExpectLookups(const std::vector<Lookup>& lookups) {
    for (const Lookup& l : lookups) {
        std::string value = "untouched";
        const bool found = JsonFindField(l.text, l.key, value);
        EXPECT_EQ(found, l.value.has_value()) << l.text << " / " << l.key;
        EXPECT_EQ(value, l.value.value_or("untouched")) << l.text << " / " << l.key;
    }
}

}  // namespace

TEST(JsonFindField, QuotedValuesAreTakenByteForByteToTheNextQuote) {
    ExpectLookups({
        {R"({"status":"OK"})", "status", "OK"},
        {"{\"status\"  :  \t\"OK\"}", "status", "OK"},
        {R"({"status" junk :"OK"})", "status", "OK"},
        {R"({"status":""})", "status", ""},
        {R"({"reason":"say \"hi\""})", "reason", "say \\"},
        {R"({"reason":"a\nb"})", "reason", "a\\nb"},
        {R"({"reason":"a,b}c"})", "reason", "a,b}c"},
        {std::string("{\"k\":\"a\0b\"}", 11), "k", std::string("a\0b", 3)},  // zero bytes are bytes
    });
}

TEST(JsonFindField, BareTokensEndAtCommaOrBraceWithoutTrailingBlanks) {
    ExpectLookups({
        {R"({"status":OK})", "status", "OK"},
        {"{\"status\":OK  \t,\"x\":1}", "status", "OK"},
        {"{\"is_admin\":true\n}", "is_admin", "true\n"},
        {"{\"k\":\n\"v\",\"n\":1}", "k", "\n\"v\""},
        {R"({"k":,"n":1})", "k", ""},
        {R"({"k":})", "k", ""},
        {R"({"k":12)", "k", "12"},
        {R"({"k":{"a":1,"b":2}})", "k", "{\"a\":1"},
        {R"({"k":[1,2]})", "k", "[1"},
    });
}

TEST(JsonFindField, WithoutAValueTheOutputIsUntouched) {
    ExpectLookups({
        {R"({"other":"x"})", "status", std::nullopt},
        {R"("status")", "status", std::nullopt},
        {R"("status":)", "status", std::nullopt},
        {"\"status\": \t ", "status", std::nullopt},
        {R"("status":")", "status", std::nullopt},
        {R"({"status":"OK)", "status", std::nullopt},
        {R"({"status" "OK"})", "status", std::nullopt},
        {R"("stat")", "status", std::nullopt},
        {"", "status", std::nullopt},
        {"", "", std::nullopt},
    });
}

TEST(JsonFindField, OnlyTheFirstWholeQuotedKeyCounts) {
    ExpectLookups({
        {R"({"username":"bob"})", "name", std::nullopt},
        {R"({"usernames":"bob"})", "username", std::nullopt},
        {R"({"Status":"OK"})", "status", std::nullopt},
        {R"({"reason":"status","status":"OK"})", "status", "OK"},
        {R"({"reason":"status"})", "status", std::nullopt},
        {R"({"a":"x","a":"y"})", "a", "x"},
        {R"({"":"empty key"})", "", "empty key"},
    });
}
