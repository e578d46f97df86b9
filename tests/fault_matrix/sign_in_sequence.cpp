#include "sign_in_sequence.h"

#include <objbase.h>
#include <credentialprovider.h>

#include <cstdio>
#include <memory>

#include "provider_class_id.h"
#include "support/failing_new.h"
#include "support/malloc_spy.h"
#include "support/nothrow_new_failure.h"
#include "tile_field_id.h"

namespace {

struct ReleaseDeleter {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <typename T>
using Ref = std::unique_ptr<T, ReleaseDeleter>;

std::string HrText(HRESULT hr) {
    switch (hr) {
    case S_OK: return "S_OK";
    case E_OUTOFMEMORY: return "E_OUTOFMEMORY";
    case E_INVALIDARG: return "E_INVALIDARG";
    default: break;
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

// A string handed out by the module, quoted, and freed; "null" when none was handed out.
std::string TakeText(PWSTR text) {
    if (text == nullptr) {
        return "null";
    }
    std::string quoted = "\"";
    for (PCWSTR unit = text; *unit != L'\0'; ++unit) {
        quoted += *unit < 0x80 ? static_cast<char>(*unit) : '?';
    }
    CoTaskMemFree(text);
    return quoted + "\"";
}

std::string ObjectSeen(HRESULT hr, const void* object) { return HrText(hr) + (object != nullptr ? "" : " null"); }

std::string IconText(CREDENTIAL_PROVIDER_STATUS_ICON icon) {
    switch (icon) {
    case CPSI_NONE: return "CPSI_NONE";
    case CPSI_ERROR: return "CPSI_ERROR";
    default: return "icon " + std::to_string(icon);
    }
}

std::string DescriptorSeen(ICredentialProvider& provider, DWORD index) {
    CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR* descriptor = nullptr;
    const HRESULT hr = provider.GetFieldDescriptorAt(index, &descriptor);
    if (descriptor == nullptr) {
        return ObjectSeen(hr, descriptor);
    }
    const std::string seen = HrText(hr) + (descriptor->pszLabel != nullptr ? " label" : " no label");
    CoTaskMemFree(descriptor->pszLabel);
    CoTaskMemFree(descriptor);
    return seen;
}

std::string StringSeen(ICredentialProviderCredential& tile, DWORD field) {
    PWSTR value = nullptr;
    const HRESULT hr = tile.GetStringValue(field, &value);
    return HrText(hr) + " " + TakeText(value);
}

// One submission; with a budget, operator new on this thread is limited for its duration only,
// so that nothing but the module's own buffers meets the failure.
std::string SubmitSeen(ICredentialProviderCredential& tile, const std::optional<size_t>& budget, bool& budgetSpent) {
    CREDENTIAL_PROVIDER_GET_SERIALIZATION_RESPONSE response = CPGSR_NO_CREDENTIAL_FINISHED;
    CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION serialization = {};
    PWSTR text = nullptr;
    CREDENTIAL_PROVIDER_STATUS_ICON icon = CPSI_SUCCESS;
    HRESULT hr;
    {
        std::optional<AllocationBudget> limit;
        if (budget) {
            limit.emplace(*budget);
        }
        hr = tile.GetSerialization(&response, &serialization, &text, &icon);
        budgetSpent = limit && limit->Exhausted();
    }

    std::string seen = HrText(hr);
    if (response == CPGSR_RETURN_CREDENTIAL_FINISHED && serialization.rgbSerialization != nullptr) {
        seen += " credential(package " + std::to_string(serialization.ulAuthenticationPackage) + ")";
        SecureZeroMemory(serialization.rgbSerialization, serialization.cbSerialization);
        CoTaskMemFree(serialization.rgbSerialization);
    } else {
        const bool noCredential = response == CPGSR_NO_CREDENTIAL_NOT_FINISHED;
        seen += noCredential ? " no credential" : " response " + std::to_string(response);
    }
    return seen + " " + IconText(icon) + " " + TakeText(text);
}

// The host's calls, recorded by step; returns early where the host would have nothing to call.
template <typename Step>
void DriveHost(Step& step, const SequenceFaults& faults, bool& budgetSpent) {
    HRESULT hr = S_OK;
    IClassFactory* rawFactory = nullptr;
    step("DllGetClassObject", [&] {
        hr = DllGetClassObject(CLSID_QMCredProvider, IID_IClassFactory, reinterpret_cast<void**>(&rawFactory));
        return ObjectSeen(hr, rawFactory);
    });
    if (FAILED(hr)) {
        return;
    }
    Ref<IClassFactory> factory(rawFactory);

    ICredentialProvider* rawProvider = nullptr;
    step("CreateInstance", [&] {
        hr = factory->CreateInstance(nullptr, IID_ICredentialProvider, reinterpret_cast<void**>(&rawProvider));
        return ObjectSeen(hr, rawProvider);
    });
    factory.reset();
    if (FAILED(hr)) {
        return;
    }
    Ref<ICredentialProvider> provider(rawProvider);

    step("SetUsageScenario", [&] { return HrText(provider->SetUsageScenario(CPUS_LOGON, 0)); });
    provider->Advise(nullptr, 0);
    DWORD fields = 0;
    provider->GetFieldDescriptorCount(&fields);
    for (DWORD field = 0; field < fields; ++field) {
        step("GetFieldDescriptorAt(" + std::to_string(field) + ")", [&] { return DescriptorSeen(*provider, field); });
    }

    DWORD count = 0;
    DWORD defaultTile = 0;
    BOOL autoLogon = FALSE;
    provider->GetCredentialCount(&count, &defaultTile, &autoLogon);
    ICredentialProviderCredential* rawTile = nullptr;
    step("GetCredentialAt", [&] {
        hr = provider->GetCredentialAt(0, &rawTile);
        return ObjectSeen(hr, rawTile);
    });
    if (FAILED(hr)) {
        return;
    }
    Ref<ICredentialProviderCredential> tile(rawTile);

    tile->SetSelected(&autoLogon);
    for (DWORD field = 0; field < FieldCount; ++field) {
        CREDENTIAL_PROVIDER_FIELD_STATE state;
        CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE interactive;
        tile->GetFieldState(field, &state, &interactive);
    }
    step("GetStringValue(user)", [&] { return StringSeen(*tile, FieldUserName); });
    step("GetStringValue(password)", [&] { return StringSeen(*tile, FieldPassword); });
    step("GetStringValue(label)", [&] { return StringSeen(*tile, FieldProviderLabel); });

    bool unlimited = false;
    step("GetSerialization(empty)", [&] { return SubmitSeen(*tile, std::nullopt, unlimited); });
    step("SetStringValue(user)", [&] { return HrText(tile->SetStringValue(FieldUserName, L"alice")); });
    step("SetStringValue(password)", [&] { return HrText(tile->SetStringValue(FieldPassword, L"wrong")); });
    step("GetSerialization(refused)", [&] { return SubmitSeen(*tile, std::nullopt, unlimited); });
    step("SetStringValue(password again)", [&] { return HrText(tile->SetStringValue(FieldPassword, L"right")); });
    step("GetSerialization(approved)", [&] { return SubmitSeen(*tile, faults.agentBufferBudget, budgetSpent); });
    step("ReportResult", [&] {
        PWSTR text = nullptr;
        CREDENTIAL_PROVIDER_STATUS_ICON icon = CPSI_SUCCESS;
        const HRESULT reported = tile->ReportResult(0, 0, &text, &icon);
        return HrText(reported) + " " + IconText(icon) + " " + TakeText(text);
    });
    tile->SetDeselected();
    provider->UnAdvise();
}

}  // namespace

SequenceRun RunSignInSequence(const SequenceFaults& faults) {
    MallocSpy& spy = MallocSpy::Get();
    SequenceRun run;
    auto step = [&](std::string name, auto&& call) {
        const size_t before = spy.AllocationsSinceMark();
        std::string seen = call();
        run.steps.push_back({std::move(name), std::move(seen), before, spy.AllocationsSinceMark()});
    };

    spy.Mark();
    {
        ScopedNothrowNewFailure nothrowFailure(faults.nothrowNew);
        DriveHost(step, faults, run.agentBufferRefused);
        run.nothrowNewFailed = faults.nothrowNew != 0 && nothrowFailure.Delivered();
    }
    spy.Disarm();
    run.outstandingBlocks = spy.OutstandingSinceMark();
    run.canUnloadNow = DllCanUnloadNow();
    return run;
}
