#include "tile_fields.h"

#include "base/com_ptr.h"
#include "co_task_memory.h"
#include "provider_call.h"

namespace {

// A copy of a string that the tile handed out; the block itself is wiped when it is freed.
std::wstring CopyOf(const ReceivedCoTaskString& text) {
    return text.Get() != nullptr ? std::wstring(text.Get()) : std::wstring();
}

// A getter that succeeded must have handed a value over.
void RequireValue(TileField& field, bool present) { field.valueMissing = SUCCEEDED(field.valueResult) && !present; }

void ReadTextValue(ICredentialProviderCredential* tile, TileField& field) {
    ReceivedCoTaskString value;
    field.valueResult = value.KeepIfSucceeded(tile->GetStringValue(field.id, value.Receive()));
    RequireValue(field, value.Get() != nullptr);
    if (value.Get() == nullptr) {
        return;
    }
    if (field.type == CPFT_PASSWORD_TEXT) {
        field.secretLength = wcslen(value.Get());
        SecureZeroMemory(const_cast<LPWSTR>(value.Get()), field.secretLength * sizeof(wchar_t));
        return;
    }
    field.text = CopyOf(value);
}

void ReadBitmapValue(ICredentialProviderCredential* tile, TileField& field) {
    HBITMAP bitmap = nullptr;
    field.valueResult = tile->GetBitmapValue(field.id, &bitmap);
    if (FAILED(field.valueResult)) {
        return;
    }
    RequireValue(field, bitmap != nullptr);
    if (bitmap == nullptr) {
        return;
    }
    BITMAP info{};
    if (GetObjectW(bitmap, sizeof(info), &info) != 0) {
        field.bitmapWidth = info.bmWidth;
        field.bitmapHeight = info.bmHeight;
    }
    // The caller of GetBitmapValue owns the bitmap.
    DeleteObject(bitmap);
}

void ReadCheckboxValue(ICredentialProviderCredential* tile, TileField& field) {
    ReceivedCoTaskString label;
    field.valueResult = label.KeepIfSucceeded(tile->GetCheckboxValue(field.id, &field.checked, label.Receive()));
    RequireValue(field, label.Get() != nullptr);
    field.text = CopyOf(label);
}

void ReadComboBoxValue(ICredentialProviderCredential* tile, TileField& field) {
    DWORD count = 0;
    field.valueResult = tile->GetComboBoxValueCount(field.id, &count, &field.comboSelected);
    if (FAILED(field.valueResult)) {
        return;
    }
    // Items past the cap are not asked for: a provider may report an absurd count.
    for (DWORD item = 0; item < count && item < kMaxComboBoxItems; ++item) {
        ReceivedCoTaskString text;
        field.valueResult = text.KeepIfSucceeded(tile->GetComboBoxValueAt(field.id, item, text.Receive()));
        if (FAILED(field.valueResult)) {
            return;
        }
        RequireValue(field, text.Get() != nullptr);
        if (field.valueMissing) {
            return;
        }
        field.comboItems.push_back(CopyOf(text));
    }
}

void ReadFieldValue(ICredentialProviderCredential* tile, TileField& field) {
    switch (field.type) {
    case CPFT_LARGE_TEXT:
    case CPFT_SMALL_TEXT:
    case CPFT_COMMAND_LINK:
    case CPFT_EDIT_TEXT:
    case CPFT_PASSWORD_TEXT: NameProviderCall("GetStringValue"); ReadTextValue(tile, field); return;
    case CPFT_TILE_IMAGE: NameProviderCall("GetBitmapValue"); ReadBitmapValue(tile, field); return;
    case CPFT_CHECKBOX: NameProviderCall("GetCheckboxValue"); ReadCheckboxValue(tile, field); return;
    case CPFT_COMBOBOX:
        NameProviderCall("GetComboBoxValueCount or GetComboBoxValueAt");
        ReadComboBoxValue(tile, field);
        return;
    case CPFT_SUBMIT_BUTTON:
        NameProviderCall("GetSubmitButtonValue");
        field.valueResult = tile->GetSubmitButtonValue(field.id, &field.adjacentTo);
        return;
    default: field.valueResult = E_NOTIMPL; return;
    }
}

// A successful call's options are kept; a failed one's are not the host's.
void ReadFieldOptions(ICredentialProviderCredentialWithFieldOptions* tile, TileField& field) {
    CREDENTIAL_PROVIDER_CREDENTIAL_FIELD_OPTIONS options = CPCFO_NONE;
    NameProviderCall("GetFieldOptions");
    field.optionsResult = tile->GetFieldOptions(field.id, &options);
    field.options = SUCCEEDED(field.optionsResult) ? options : CPCFO_NONE;
}

const TileField* FindField(const std::vector<TileField>& fields, const GUID& tag, CREDENTIAL_PROVIDER_FIELD_TYPE type) {
    for (const TileField& field : fields) {
        if (IsEqualGUID(field.guidFieldType, tag) && field.type == type) {
            return &field;
        }
    }
    for (const TileField& field : fields) {
        if (field.type == type) {
            return &field;
        }
    }
    return nullptr;
}

}  // namespace

HRESULT ReadFieldDescriptors(ICredentialProvider* provider, std::vector<TileField>& fields, const char*& failedStep) {
    static_assert(kMaxFieldDescriptors == 256, "the failed step names the cap");
    fields.clear();
    failedStep = NameProviderCall("GetFieldDescriptorCount");
    DWORD count = 0;
    HRESULT hr = provider->GetFieldDescriptorCount(&count);
    if (FAILED(hr)) {
        return hr;
    }
    if (count > kMaxFieldDescriptors) {
        failedStep = "GetFieldDescriptorCount (more than 256 fields)";
        return kProviderContractBroken;
    }
    for (DWORD index = 0; index < count; ++index) {
        failedStep = NameProviderCall("GetFieldDescriptorAt");
        CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR* raw = nullptr;
        hr = provider->GetFieldDescriptorAt(index, &raw);
        if (FAILED(hr)) {
            return hr;  // raw is not the host's: a failed call hands nothing over
        }
        CoTaskPtr<CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR> descriptor(raw);
        failedStep = "GetFieldDescriptorAt (no descriptor)";
        if (descriptor == nullptr) {
            return kProviderContractBroken;
        }
        // The label is a block of its own, owned by the host like the record.
        CoTaskPtr<wchar_t> label(descriptor->pszLabel);
        failedStep = "GetFieldDescriptorAt (no label)";
        if (label == nullptr) {
            return kProviderContractBroken;
        }
        TileField field;
        field.id = descriptor->dwFieldID;
        field.type = descriptor->cpft;
        field.label = label.get();
        field.guidFieldType = descriptor->guidFieldType;
        fields.push_back(std::move(field));
    }
    failedStep = "";
    return S_OK;
}

void ReadFieldValues(ICredentialProviderCredential* tile, std::vector<TileField>& fields) {
    ComPtr<ICredentialProviderCredentialWithFieldOptions> withOptions;
    NameProviderCall("QueryInterface(ICredentialProviderCredentialWithFieldOptions)");
    QueryProviderInterface<ICredentialProviderCredentialWithFieldOptions>(tile, withOptions);
    for (TileField& field : fields) {
        NameProviderCall("GetFieldState");
        field.stateResult = tile->GetFieldState(field.id, &field.state, &field.interactiveState);
        ReadFieldValue(tile, field);
        if (withOptions) {
            ReadFieldOptions(withOptions.Get(), field);
        }
    }
}

const TileField* FindUserNameField(const std::vector<TileField>& fields) {
    return FindField(fields, CPFG_LOGON_USERNAME, CPFT_EDIT_TEXT);
}

const TileField* FindPasswordField(const std::vector<TileField>& fields) {
    return FindField(fields, CPFG_LOGON_PASSWORD, CPFT_PASSWORD_TEXT);
}

std::wstring TileUserNameLabel(const std::vector<TileField>& fields) {
    for (const TileField& field : fields) {
        if (IsEqualGUID(field.guidFieldType, CPFG_LOGON_USERNAME) && field.type != CPFT_PASSWORD_TEXT) {
            return field.text;
        }
    }
    for (const TileField& field : fields) {
        if (field.type == CPFT_LARGE_TEXT) {
            return field.text;
        }
    }
    return {};
}
