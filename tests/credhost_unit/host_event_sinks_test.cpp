// The window host's sinks after the host has gone: a provider may keep them past UnAdvise and
// call them from a thread of its own at any time, so once the host has detached its listener a
// call must reach nothing and still answer S_OK. The window test drives the same through a
// provider's thread, where a call into freed memory might go unnoticed; here it cannot.
#include "host_event_sinks.h"

#include <gtest/gtest.h>

#include "base/com_ptr.h"

#include <memory>

namespace {

class CountingListener final : public HostEventListener {
public:
    void OnFieldEvent(const FieldEvent&) noexcept override { ++fieldEvents; }
    void OnCredentialsChanged() noexcept override { ++changes; }
    HWND OwnerWindow() noexcept override { return HWND_MESSAGE; }

    int fieldEvents = 0;
    int changes = 0;
};

TEST(HostEventSinks, ADetachedListenerHearsNothingAndEveryCallStillSucceeds) {
    CountingListener listener;
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
    EXPECT_EQ(events2->SetFieldString(nullptr, 1, L"heard"), S_OK);
    EXPECT_EQ(providerSink->CredentialsChanged(0), S_OK);
    HWND owner = nullptr;
    EXPECT_EQ(tileSink->OnCreatingWindow(&owner), S_OK);
    EXPECT_EQ(owner, HWND_MESSAGE);

    link->Detach();
    EXPECT_EQ(events2->SetFieldString(nullptr, 1, L"late"), S_OK);
    EXPECT_EQ(events2->BeginFieldUpdates(), S_OK);
    EXPECT_EQ(providerSink->CredentialsChanged(0), S_OK);
    EXPECT_EQ(tileSink->OnCreatingWindow(&owner), S_OK);
    EXPECT_EQ(owner, nullptr) << "a window that has gone is handed out as an owner";
    EXPECT_EQ(listener.fieldEvents, 1);
    EXPECT_EQ(listener.changes, 1);
}

}  // namespace
