// The window host's sinks after the host has gone: a provider may keep them past UnAdvise and
// call them from a thread of its own at any time, so once the host has detached its listener a
// call must reach nothing and still answer S_OK. The window test drives the same through a
// provider's thread, but whether a late call would have hit freed memory there is luck; here
// it is certain.
#include "host_event_sinks.h"

#include <gtest/gtest.h>

#include "base/com_ptr.h"

#include <memory>
#include <vector>

namespace {

class RecordingListener final : public HostEventListener {
public:
    void OnFieldEvent(const FieldEvent& event) noexcept override { kinds.push_back(event.kind); }
    void OnCredentialsChanged() noexcept override { ++changes; }
    HWND OwnerWindow() noexcept override { return HWND_MESSAGE; }

    std::vector<FieldEventKind> kinds;
    int changes = 0;
};

TEST(HostEventSinks, ADetachedListenerHearsNothingAndEveryCallStillSucceeds) {
    RecordingListener listener;
    const auto link = std::make_shared<ListenerLink>(&listener);
    ComPtr<CredentialEventsSink> tileSink;
    tileSink.Attach(CredentialEventsSink::Create(link));
    ComPtr<ProviderEventsSink> providerSink;
    providerSink.Attach(ProviderEventsSink::Create(link));
    ASSERT_TRUE(tileSink && providerSink);

    // A tile written for Windows 8 asks the sink for the second interface in Advise.
    void* received = nullptr;
    ASSERT_EQ(tileSink->QueryInterface(__uuidof(ICredentialProviderCredentialEvents2), &received), S_OK);
    ComPtr<ICredentialProviderCredentialEvents2> events2;
    events2.Attach(static_cast<ICredentialProviderCredentialEvents2*>(received));
    EXPECT_EQ(events2->BeginFieldUpdates(), S_OK);
    EXPECT_EQ(events2->SetFieldString(nullptr, 1, L"batched"), S_OK);
    EXPECT_EQ(events2->SetFieldOptions(nullptr, 2, CPCFO_ENABLE_PASSWORD_REVEAL), S_OK);
    EXPECT_EQ(events2->EndFieldUpdates(), S_OK);
    EXPECT_EQ(providerSink->CredentialsChanged(0), S_OK);
    HWND owner = nullptr;
    EXPECT_EQ(tileSink->OnCreatingWindow(&owner), S_OK);
    EXPECT_EQ(owner, HWND_MESSAGE);
    const std::vector<FieldEventKind> heard = {FieldEventKind::BeginUpdates, FieldEventKind::String,
                                               FieldEventKind::Options, FieldEventKind::EndUpdates};
    EXPECT_EQ(listener.kinds, heard);
    EXPECT_EQ(listener.changes, 1);

    link->Detach();
    EXPECT_EQ(events2->SetFieldString(nullptr, 1, L"late"), S_OK);
    EXPECT_EQ(events2->BeginFieldUpdates(), S_OK);
    EXPECT_EQ(providerSink->CredentialsChanged(0), S_OK);
    EXPECT_EQ(tileSink->OnCreatingWindow(&owner), S_OK);
    EXPECT_EQ(owner, nullptr) << "a window that has gone is handed out as an owner";
    EXPECT_EQ(listener.kinds, heard);
    EXPECT_EQ(listener.changes, 1);
}

}  // namespace
