#include "provider_crash_report.h"

#include "display_escaping.h"
#include "provider_call.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace {

// Wine raises this when a program calls a function that Wine only stubs; its first two
// parameters name the DLL and the function.
constexpr DWORD kWineStubException = 0x80000100;

bool g_json = false;

std::string Hex(ULONG_PTR value, int digits) {
    char text[32];
    std::snprintf(text, sizeof(text), "0x%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

std::string AccessViolationText(const EXCEPTION_RECORD& record) {
    if (record.NumberParameters < 2) {
        return "access violation";
    }
    const ULONG_PTR kind = record.ExceptionInformation[0];
    const char* verb = kind == 0 ? "reading" : kind == 1 ? "writing" : "executing";
    return std::string("access violation ") + verb + " " + Hex(record.ExceptionInformation[1], 16);
}

// The stub's names are Wine's own static strings, but read only as far as a bounded length.
std::string WineStubText(const EXCEPTION_RECORD& record) {
    if (record.NumberParameters < 2 || record.ExceptionInformation[0] == 0 || record.ExceptionInformation[1] == 0) {
        return "unimplemented function (Wine stub)";
    }
    const auto* dll = reinterpret_cast<const char*>(record.ExceptionInformation[0]);
    const auto* function = reinterpret_cast<const char*>(record.ExceptionInformation[1]);
    return "unimplemented function " + EscapedForDisplay(std::string(dll, strnlen(dll, 64))) + "." +
           EscapedForDisplay(std::string(function, strnlen(function, 128))) + " (Wine stub)";
}

std::string CodeName(const EXCEPTION_RECORD& record) {
    switch (record.ExceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION: return AccessViolationText(record);
    case kWineStubException: return WineStubText(record);
    case EXCEPTION_STACK_OVERFLOW: return "stack overflow";
    case EXCEPTION_INT_DIVIDE_BY_ZERO: return "integer division by zero";
    case EXCEPTION_ILLEGAL_INSTRUCTION: return "illegal instruction";
    case EXCEPTION_BREAKPOINT: return "breakpoint";
    case EXCEPTION_IN_PAGE_ERROR: return "in-page error";
    case 0xC0000409: return "stack buffer overrun (fail fast)";
    default: return "exception";
    }
}

LONG WINAPI ReportAndEnd(EXCEPTION_POINTERS* pointers) {
    if (pointers != nullptr && pointers->ExceptionRecord != nullptr) {
        // Allocation may fail in a process whose heap the provider broke; then only the exit
        // code tells.
        try {
            const ProviderCrash crash = DescribeProviderCrash(*pointers->ExceptionRecord);
            const std::string text = g_json ? ProviderCrashJson(crash) : ProviderCrashText(crash);
            DWORD written = 0;
            WriteFile(GetStdHandle(g_json ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE), text.data(),
                      static_cast<DWORD>(text.size()), &written, nullptr);
        } catch (...) {
        }
    }
    TerminateProcess(GetCurrentProcess(), kProviderCrashExitCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

ProviderCrash DescribeProviderCrash(const EXCEPTION_RECORD& record) noexcept {
    ProviderCrash crash;
    try {
        const char* call = RunningProviderCall();
        crash.call = call != nullptr ? call : "no provider call";
        crash.code = record.ExceptionCode;
        crash.codeName = CodeName(record);
        const auto address = reinterpret_cast<ULONG_PTR>(record.ExceptionAddress);
        crash.offset = address;
        HMODULE module = nullptr;
        if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                reinterpret_cast<LPCWSTR>(record.ExceptionAddress), &module)) {
            return crash;
        }
        wchar_t path[MAX_PATH] = {};
        const DWORD length = GetModuleFileNameW(module, path, ARRAYSIZE(path));
        crash.module = EscapedPathForDisplay(std::wstring_view(path, length));
        crash.offset = address - reinterpret_cast<ULONG_PTR>(module);
    } catch (...) {
    }
    return crash;
}

std::string ProviderCrashText(const ProviderCrash& crash) {
    const std::string where = crash.module.empty() ? "at " + Hex(crash.offset, 16) + " (in no module)"
                                                   : "at " + crash.module + "+" + Hex(crash.offset, 1);
    return "credhost: provider crash in " + crash.call + ": exception " + Hex(crash.code, 8) + " (" + crash.codeName +
           ") " + where + "\n";
}

std::string ProviderCrashJson(const ProviderCrash& crash) {
    const nlohmann::json json = {
        {"outcome", "provider_crash"},
        {"failed_step", crash.call},
        {"exception", Hex(crash.code, 8)},
        {"exception_name", crash.codeName},
        {"module", crash.module.empty() ? nlohmann::json(nullptr) : nlohmann::json(crash.module)},
        {"offset", Hex(crash.offset, 1)},
    };
    return json.dump() + "\n";
}

void ReportProviderCrashes(bool json) noexcept {
    g_json = json;
    SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(ReportAndEnd);
}
