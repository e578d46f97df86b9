#include "credential_provider_names.h"

#include "nt_status_names.h"
#include "win32_error_name.h"

#include "provider_contract.h"

#include <cstdio>

const char* ScenarioName(CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario) {
    switch (scenario) {
    case CPUS_LOGON: return "logon";
    case CPUS_UNLOCK_WORKSTATION: return "unlock";
    case CPUS_CHANGE_PASSWORD: return "change password";
    case CPUS_CREDUI: return "credui";
    case CPUS_PLAP: return "plap";
    default: return "invalid";
    }
}

std::string ScenarioText(CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario, DWORD flags) {
    if (flags == 0) {
        return ScenarioName(scenario);
    }
    char text[32];
    std::snprintf(text, sizeof(text), " (flags 0x%08lX)", static_cast<unsigned long>(flags));
    return ScenarioName(scenario) + std::string(text);
}

const char* FieldTypeName(CREDENTIAL_PROVIDER_FIELD_TYPE type) {
    switch (type) {
    case CPFT_LARGE_TEXT: return "large text";
    case CPFT_SMALL_TEXT: return "small text";
    case CPFT_COMMAND_LINK: return "command link";
    case CPFT_EDIT_TEXT: return "edit text";
    case CPFT_PASSWORD_TEXT: return "password text";
    case CPFT_TILE_IMAGE: return "tile image";
    case CPFT_CHECKBOX: return "checkbox";
    case CPFT_COMBOBOX: return "combo box";
    case CPFT_SUBMIT_BUTTON: return "submit button";
    default: return "invalid";
    }
}

const char* FieldStateName(CREDENTIAL_PROVIDER_FIELD_STATE state) {
    switch (state) {
    case CPFS_HIDDEN: return "hidden";
    case CPFS_DISPLAY_IN_SELECTED_TILE: return "selected tile";
    case CPFS_DISPLAY_IN_DESELECTED_TILE: return "deselected tile";
    case CPFS_DISPLAY_IN_BOTH: return "both";
    default: return "invalid";
    }
}

const char* InteractiveStateName(CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE state) {
    switch (state) {
    case CPFIS_NONE: return "none";
    case CPFIS_READONLY: return "read-only";
    case CPFIS_DISABLED: return "disabled";
    case CPFIS_FOCUSED: return "focused";
    default: return "invalid";
    }
}

const char* StatusIconName(CREDENTIAL_PROVIDER_STATUS_ICON icon) {
    switch (icon) {
    case CPSI_NONE: return "none";
    case CPSI_ERROR: return "error";
    case CPSI_WARNING: return "warning";
    case CPSI_SUCCESS: return "success";
    default: return "invalid";
    }
}

const char* SerializationResponseName(CREDENTIAL_PROVIDER_GET_SERIALIZATION_RESPONSE response) {
    switch (response) {
    case CPGSR_NO_CREDENTIAL_NOT_FINISHED: return "CPGSR_NO_CREDENTIAL_NOT_FINISHED";
    case CPGSR_NO_CREDENTIAL_FINISHED: return "CPGSR_NO_CREDENTIAL_FINISHED";
    case CPGSR_RETURN_CREDENTIAL_FINISHED: return "CPGSR_RETURN_CREDENTIAL_FINISHED";
    case CPGSR_RETURN_NO_CREDENTIAL_FINISHED: return "CPGSR_RETURN_NO_CREDENTIAL_FINISHED";
    default: return "invalid";
    }
}

std::string GuidText(const GUID& guid) {
    char text[40];
    std::snprintf(text, sizeof(text), "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

std::string HResultText(HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(hr));
    const char* name = nullptr;
    switch (hr) {
    case S_OK: name = "S_OK"; break;
    case S_FALSE: name = "S_FALSE"; break;
    case E_NOTIMPL: name = "E_NOTIMPL"; break;
    case E_INVALIDARG: name = "E_INVALIDARG"; break;
    case E_OUTOFMEMORY: name = "E_OUTOFMEMORY"; break;
    case E_FAIL: name = "E_FAIL"; break;
    case E_POINTER: name = "E_POINTER"; break;
    case E_NOINTERFACE: name = "E_NOINTERFACE"; break;
    case E_UNEXPECTED: name = "E_UNEXPECTED"; break;
    case CLASS_E_CLASSNOTAVAILABLE: name = "CLASS_E_CLASSNOTAVAILABLE"; break;
    case REGDB_E_CLASSNOTREG: name = "REGDB_E_CLASSNOTREG"; break;
    case HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND): name = "module not found"; break;
    case HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND): name = "export not found"; break;
    case HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT): name = "not a 64-bit DLL"; break;
    case kProviderContractBroken: name = "invalid data from the provider"; break;
    default:
        name = HRESULT_FACILITY(hr) == FACILITY_WIN32 ? Win32ErrorName(HRESULT_CODE(hr)) : nullptr;
        break;
    }
    // An NTSTATUS wrapped as an HRESULT (HRESULT_FROM_NT) sets the facility's NT bit.
    constexpr unsigned long kNtFacilityBit = 0x10000000ul;
    if (name == nullptr && (static_cast<unsigned long>(hr) & kNtFacilityBit) != 0) {
        name = NtStatusName(static_cast<NTSTATUS>(static_cast<unsigned long>(hr) & ~kNtFacilityBit));
    }
    return name != nullptr ? std::string(code) + " (" + name + ")" : std::string(code);
}

std::vector<std::string> FieldOptionNames(CREDENTIAL_PROVIDER_CREDENTIAL_FIELD_OPTIONS options) {
    static const struct {
        DWORD bit;
        const char* name;
    } kOptions[] = {
        {CPCFO_ENABLE_PASSWORD_REVEAL, "password reveal"},
        {CPCFO_IS_EMAIL_ADDRESS, "e-mail address"},
        {CPCFO_ENABLE_TOUCH_KEYBOARD_AUTO_INVOKE, "touch keyboard"},
        {CPCFO_NUMBERS_ONLY, "numbers only"},
        {CPCFO_SHOW_ENGLISH_KEYBOARD, "English keyboard"},
    };
    std::vector<std::string> names;
    DWORD rest = options;
    for (const auto& option : kOptions) {
        if ((rest & option.bit) != 0) {
            names.push_back(option.name);
            rest &= ~option.bit;
        }
    }
    if (rest != 0) {
        char text[16];
        std::snprintf(text, sizeof(text), "0x%lX", static_cast<unsigned long>(rest));
        names.push_back(text);
    }
    return names;
}
