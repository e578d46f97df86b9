#include "base/co_task_str_dup.h"

#include <objbase.h>

#include <cwchar>

#include <strsafe.h>

HRESULT CoTaskStrDup(PCWSTR source, PWSTR* out) noexcept {
    PCWSTR text = source != nullptr ? source : L"";
    size_t capacity = wcslen(text) + 1;
    *out = static_cast<PWSTR>(CoTaskMemAlloc(capacity * sizeof(WCHAR)));
    if (*out == nullptr) {
        return E_OUTOFMEMORY;
    }
    // The destination is exactly large enough, so the copy cannot truncate.
    StringCchCopyW(*out, capacity, text);
    return S_OK;
}
