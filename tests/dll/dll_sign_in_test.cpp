#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <credentialprovider.h>

#include <string>

#include "dll_test_support.h"
#include "provider_class_id.h"
#include "support/kerberos_logon_reader.h"
#include "support/scripted_agent.h"
#include "tile_field_id.h"

namespace {

// What a sign-in screen does with a freshly registered provider: create it through COM, select
// its tile, type, submit, and hand the serialization on; with the scripted agent on the pipe.
TEST(DllSignInTest, RegisteredProviderSignsInThroughItsTileWithTheAgentsApproval) {
    ASSERT_EQ(0, RunRegsvr32(false));
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    ScriptedAgent agent(AgentBehaviour::ReplyWith(R"({"status":"OK","username":"alice.m"})"));
    ASSERT_TRUE(agent.Start());

    ICredentialProvider* provider = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_QMCredProvider, nullptr, CLSCTX_INPROC_SERVER, IID_ICredentialProvider,
                                     reinterpret_cast<void**>(&provider)));
    ASSERT_EQ(S_OK, provider->SetUsageScenario(CPUS_LOGON, 0));
    ICredentialProviderCredential* tile = nullptr;
    ASSERT_EQ(S_OK, provider->GetCredentialAt(0, &tile));
    BOOL autoLogon = TRUE;
    EXPECT_EQ(S_OK, tile->SetSelected(&autoLogon));
    EXPECT_EQ(S_OK, tile->SetStringValue(FieldUserName, L"alice"));
    EXPECT_EQ(S_OK, tile->SetStringValue(FieldPassword, L"correct horse"));

    CREDENTIAL_PROVIDER_GET_SERIALIZATION_RESPONSE response = CPGSR_NO_CREDENTIAL_NOT_FINISHED;
    CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION serialization = {};
    PWSTR statusText = nullptr;
    CREDENTIAL_PROVIDER_STATUS_ICON icon = CPSI_ERROR;
    ASSERT_EQ(S_OK, tile->GetSerialization(&response, &serialization, &statusText, &icon));
    EXPECT_EQ(CPGSR_RETURN_CREDENTIAL_FINISHED, response);
    EXPECT_EQ(nullptr, statusText);
    EXPECT_TRUE(IsEqualGUID(CLSID_QMCredProvider, serialization.clsidCredentialProvider));

    const PackedLogon logon = ReadPackedLogon(serialization.rgbSerialization, serialization.cbSerialization);
    EXPECT_EQ("", logon.faults);
    EXPECT_EQ(L"alice.m", logon.userName.text) << "the account the agent named";
    EXPECT_EQ(L"correct horse", logon.password.text);
    WCHAR computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD computerLength = ARRAYSIZE(computer);
    ASSERT_TRUE(GetComputerNameW(computer, &computerLength));
    EXPECT_EQ(computer, logon.domain.text);
    ASSERT_EQ(1u, agent.Requests().size());
    EXPECT_NE(std::string::npos, agent.Requests()[0].find(R"("username":"alice")"));

    // The block belongs to the host now, password and all; a host wipes it before freeing it.
    SecureZeroMemory(serialization.rgbSerialization, serialization.cbSerialization);
    CoTaskMemFree(serialization.rgbSerialization);
    EXPECT_EQ(S_OK, tile->ReportResult(0, 0, &statusText, &icon));
    tile->Release();
    provider->Release();
    agent.Stop();

    CoFreeUnusedLibraries();
    EXPECT_EQ(nullptr, GetModuleHandleW(L"qm-credprovider.dll"));
    CoUninitialize();
    EXPECT_EQ(0, RunRegsvr32(true));
}

}  // namespace
