// Looks for remnants of a secret in this process's memory: every committed private read-write
// region (heaps, stacks, and freed heap blocks, which stay readable).
#pragma once

#include <cstddef>
#include <string>

// A byte pattern kept XOR-masked, so that the test's own copy of it is never what a scan finds.
class MaskedPattern {
public:
    static constexpr unsigned char kMask = 0xA5;

    // A pattern from bytes that are already masked (each byte XOR kMask). Build them masked: a
    // plain copy of the secret, freed unwiped, would itself be found by the scan.
    static MaskedPattern FromMasked(std::string masked);

    // The pattern's bytes from offset on, at most length of them (the heap overwrites the first
    // 16 bytes of a freed block, so a scan for a long secret starts at its byte 16).
    MaskedPattern Slice(std::size_t offset, std::size_t length) const;

    // The unmasked byte at index i, for building the test's input without keeping it whole.
    char PlainAt(std::size_t i) const { return static_cast<char>(m_masked[i] ^ kMask); }
    std::size_t Size() const { return m_masked.size(); }

    // How many times the pattern occurs in the scanned memory.
    std::size_t CountInProcessMemory() const;

private:
    std::string m_masked;
};
