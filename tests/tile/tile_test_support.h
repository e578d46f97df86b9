// Shared pieces of the tile tests: an owner for a tile, string and byte helpers, and a record of
// the blocks freed while an action runs.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "support/malloc_spy.h"
#include "tile/credential_tile.h"
#include "tile_field_id.h"

struct ReleaseDeleter {
    void operator()(IUnknown* object) const { object->Release(); }
};

// Holds the creation reference of a tile; the tile is destroyed when the owner goes.
using TileOwner = std::unique_ptr<CQMCredentialTile, ReleaseDeleter>;

inline TileOwner NewTile() { return TileOwner(new CQMCredentialTile()); }

// A caller-owned string from the tile, taken over and freed here.
inline std::wstring TakeString(PWSTR text) {
    std::wstring copy = text != nullptr ? text : L"<null>";
    CoTaskMemFree(text);
    return copy;
}

inline std::wstring StringValue(CQMCredentialTile& tile, DWORD field) {
    PWSTR value = nullptr;
    EXPECT_EQ(S_OK, tile.GetStringValue(field, &value));
    return TakeString(value);
}

// The bytes of a block as the task allocator's PreFree saw them.
using FreedBlock = std::vector<BYTE>;

template <typename Action>
std::vector<FreedBlock> BlocksFreedDuring(Action&& action) {
    std::vector<FreedBlock> freed;
    {
        ScopedPreFreeHook hook([&](const void* block, SIZE_T size) {
            const BYTE* bytes = static_cast<const BYTE*>(block);
            freed.emplace_back(bytes, bytes + size);
        });
        action();
    }
    return freed;
}

inline bool AllZero(const FreedBlock& block) {
    for (BYTE b : block) {
        if (b != 0) {
            return false;
        }
    }
    return true;
}

inline bool Contains(const FreedBlock& block, const std::wstring& text) {
    const auto* pattern = reinterpret_cast<const BYTE*>(text.data());
    size_t length = text.size() * sizeof(wchar_t);
    if (length == 0 || block.size() < length) {
        return false;
    }
    for (size_t i = 0; i + length <= block.size(); ++i) {
        if (memcmp(block.data() + i, pattern, length) == 0) {
            return true;
        }
    }
    return false;
}

// Bytes of a stored copy of text: its units and the terminator.
inline size_t StoredSize(const std::wstring& text) { return (text.size() + 1) * sizeof(wchar_t); }
