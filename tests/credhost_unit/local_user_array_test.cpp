// The user array as a provider reads it. Wine has one local account, so the array here is made
// from accounts given by hand: what each key answers, the account options, and the filter to
// another account provider (a Microsoft account's), which Wine cannot show.
#include "local_user_array.h"

#include <gtest/gtest.h>

#include "base/com_ptr.h"

#include <propkey.h>

#include <string>

namespace {

std::wstring StringOf(ICredentialProviderUser* user, REFPROPERTYKEY key) {
    LPWSTR text = nullptr;
    if (FAILED(user->GetStringValue(key, &text))) {
        return L"(failed)";
    }
    std::wstring copy = text;
    CoTaskMemFree(text);
    return copy;
}

TEST(LocalUserArray, EachUserAnswersWhatTheSignInScreensUsersAnswer) {
    ComPtr<ICredentialProviderUserArray> array;
    array.Attach(CreateLocalUserArray({{L"ada", L"Ada Lovelace", L"S-1-5-21-1-2-3-1001", L"PC\\ada", L"Signed in"},
                                       {L"bob", L"bob", L"S-1-5-21-1-2-3-1002", L"PC\\bob", L""}}));
    ASSERT_TRUE(array);
    DWORD count = 0;
    ASSERT_EQ(array->GetCount(&count), S_OK);
    EXPECT_EQ(count, 2u);
    CREDENTIAL_PROVIDER_ACCOUNT_OPTIONS options = CPAO_EMPTY_CONNECTED;
    EXPECT_EQ(array->GetAccountOptions(&options), S_OK);
    EXPECT_EQ(options, CPAO_NONE);

    ComPtr<ICredentialProviderUser> user;
    ASSERT_EQ(array->GetAt(0, user.Receive()), S_OK);
    LPWSTR sid = nullptr;
    ASSERT_EQ(user->GetSid(&sid), S_OK);
    EXPECT_STREQ(sid, L"S-1-5-21-1-2-3-1001");
    CoTaskMemFree(sid);
    GUID provider{};
    EXPECT_EQ(user->GetProviderID(&provider), S_OK);
    EXPECT_TRUE(IsEqualGUID(provider, Identity_LocalUserProvider));
    EXPECT_EQ(StringOf(user.Get(), PKEY_Identity_UserName), L"ada");
    EXPECT_EQ(StringOf(user.Get(), PKEY_Identity_DisplayName), L"Ada Lovelace");
    EXPECT_EQ(StringOf(user.Get(), PKEY_Identity_LogonStatusString), L"Signed in");
    EXPECT_EQ(StringOf(user.Get(), PKEY_Identity_QualifiedUserName), L"PC\\ada");
    EXPECT_EQ(StringOf(user.Get(), PKEY_Identity_PrimarySid), L"S-1-5-21-1-2-3-1001");
    EXPECT_EQ(StringOf(user.Get(), PKEY_Identity_Blob), L"(failed)");
    PROPVARIANT value;
    ASSERT_EQ(user->GetValue(PKEY_Identity_UserName, &value), S_OK);
    EXPECT_EQ(value.vt, VT_LPWSTR);
    EXPECT_STREQ(value.pwszVal, L"ada");
    PropVariantClear(&value);
    EXPECT_EQ(array->GetAt(2, user.Receive()), E_INVALIDARG);

    // Filtered to the local account provider every user stays; to any other, none does.
    EXPECT_EQ(array->SetProviderFilter(Identity_LocalUserProvider), S_OK);
    EXPECT_EQ(array->GetCount(&count), S_OK);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(array->SetProviderFilter(GUID{0x12345678, 0, 0, {}}), S_OK);
    EXPECT_EQ(array->GetCount(&count), S_OK);
    EXPECT_EQ(count, 0u);

    // With no account the screen offers only "Other user", for a local account.
    ComPtr<ICredentialProviderUserArray> empty;
    empty.Attach(CreateLocalUserArray({}));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->GetAccountOptions(&options), S_OK);
    EXPECT_EQ(options, CPAO_EMPTY_LOCAL);
}

}  // namespace
