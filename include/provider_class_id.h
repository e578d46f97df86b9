// The one COM class this module serves. The same 16 bytes are matched by DllGetClassObject,
// written to the registry as text, and copied into every credential serialization.
//
// The text below is the only place the id is written. The compiler works the bytes out of it,
// and the build reads it from this line (CMakeLists.txt) for the package and the scripts: keep
// it on one line, in this form.
#pragma once

#include <windows.h>

// Registry form: braces, upper-case hexadecimal digits, 38 characters.
inline constexpr wchar_t kProviderClsidText[] = L"{F1E2D3C4-B5A6-4798-9012-3456789ABCDE}";

// The value of count hexadecimal digits of text from first on (upper-case, as above).
constexpr unsigned long RegistryTextField(const wchar_t* text, int first, int count) {
    unsigned long value = 0;
    for (int i = first; i < first + count; ++i) {
        value = value * 16 + static_cast<unsigned long>(text[i] <= L'9' ? text[i] - L'0' : text[i] - L'A' + 10);
    }
    return value;
}

// The GUID that a registry-form text names, field by field as the text lays them out.
constexpr CLSID ClsidFromRegistryText(const wchar_t (&text)[39]) {
    constexpr int kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    CLSID id{};
    id.Data1 = RegistryTextField(text, 1, 8);
    id.Data2 = static_cast<unsigned short>(RegistryTextField(text, 10, 4));
    id.Data3 = static_cast<unsigned short>(RegistryTextField(text, 15, 4));
    for (int i = 0; i < 8; ++i) {
        id.Data4[i] = static_cast<unsigned char>(RegistryTextField(text, kByteAt[i], 2));
    }
    return id;
}

inline constexpr CLSID CLSID_QMCredProvider = ClsidFromRegistryText(kProviderClsidText);
