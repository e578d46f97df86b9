#include "support/process_memory_scan.h"

#include <windows.h>

#include <utility>

namespace {

bool IsScanned(const MEMORY_BASIC_INFORMATION& region) {
    return region.State == MEM_COMMIT && region.Type == MEM_PRIVATE && region.Protect == PAGE_READWRITE;
}

}  // namespace

MaskedPattern MaskedPattern::FromMasked(std::string masked) {
    MaskedPattern pattern;
    pattern.m_masked = std::move(masked);
    return pattern;
}

MaskedPattern MaskedPattern::Slice(std::size_t offset, std::size_t length) const {
    MaskedPattern slice;
    slice.m_masked = m_masked.substr(offset, length);
    return slice;
}

std::size_t MaskedPattern::CountInProcessMemory() const {
    const auto* masked = reinterpret_cast<const unsigned char*>(m_masked.data());
    const std::size_t length = m_masked.size();
    std::size_t found = 0;

    MEMORY_BASIC_INFORMATION region;
    for (const char* address = nullptr; VirtualQuery(address, &region, sizeof region) == sizeof region;
         address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (!IsScanned(region) || region.RegionSize < length) {
            continue;
        }
        const auto* bytes = static_cast<const unsigned char*>(region.BaseAddress);
        const std::size_t last = region.RegionSize - length;
        for (std::size_t at = 0; at <= last; ++at) {
            std::size_t i = 0;
            while (i < length && (bytes[at + i] ^ kMask) == masked[i]) {
                ++i;
            }
            found += i == length ? 1 : 0;
        }
    }
    return found;
}
