// The service's request log: lines appended to a file that others may read, and even delete,
// while the service writes it. Each line is one write, so a reader never sees half of one.
#pragma once

#include "base/unique_handle.h"

#include <string>

class RequestLogFile {
public:
    // Opens path for appending, creating it when missing.
    HRESULT Open(const std::wstring& path) noexcept;

    // Appends line and a line feed; nothing when no file is open. A line that cannot be written is
    // lost: serving goes on.
    void Append(const std::string& line) noexcept;

private:
    KernelHandle m_file;
};
