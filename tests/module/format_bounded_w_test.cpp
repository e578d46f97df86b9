#include "module/format_bounded_w.h"

#include <gtest/gtest.h>

#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>

namespace {

// A buffer with guard units after the capacity under test, to catch a write past it.
struct GuardedBuffer {
    static constexpr size_t kGuardUnits = 8;
    WCHAR units[300 + kGuardUnits];

    GuardedBuffer() { wmemset(units, L'#', ARRAYSIZE(units)); }
    bool GuardIntactAfter(size_t capacity) const {
        for (size_t i = capacity; i < capacity + kGuardUnits; ++i) {
            if (units[i] != L'#') {
                return false;
            }
        }
        return true;
    }
};

TEST(FormatBoundedW, RefusesCapacityZeroWithoutTouchingTheBuffer) {
    GuardedBuffer buffer;
    EXPECT_EQ(E_INVALIDARG, FormatBoundedW(buffer.units, 0, L"abc"));
    EXPECT_TRUE(buffer.GuardIntactAfter(0));
}

TEST(FormatBoundedW, RefusesCapacityAboveTheLimitWithAnEmptyString) {
    GuardedBuffer buffer;
    // Only the first unit may be written, so a small buffer is safe here.
    EXPECT_EQ(E_INVALIDARG, FormatBoundedW(buffer.units, size_t{STRSAFE_MAX_CCH} + 1, L"abc"));
    EXPECT_EQ(L'\0', buffer.units[0]);
    EXPECT_TRUE(buffer.GuardIntactAfter(1));
    EXPECT_EQ(E_INVALIDARG, FormatBoundedW(buffer.units, ~size_t{0}, L"abc"));
}

TEST(FormatBoundedW, CapacityOneHoldsOnlyTheEmptyText) {
    GuardedBuffer buffer;
    EXPECT_EQ(S_OK, FormatBoundedW(buffer.units, 1, L""));
    EXPECT_EQ(L'\0', buffer.units[0]);
    EXPECT_TRUE(buffer.GuardIntactAfter(1));

    GuardedBuffer second;
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER, FormatBoundedW(second.units, 1, L"%ls", L"x"));
    EXPECT_EQ(L'\0', second.units[0]);
    EXPECT_TRUE(second.GuardIntactAfter(1));
}

TEST(FormatBoundedW, TextOfExactlyCapacityLessOneFitsWholeAndOneMoreIsCut) {
    // "CLSID\{A}" is 9 units.
    GuardedBuffer fits;
    EXPECT_EQ(S_OK, FormatBoundedW(fits.units, 10, L"CLSID\\%ls", L"{A}"));
    EXPECT_STREQ(L"CLSID\\{A}", fits.units);
    EXPECT_TRUE(fits.GuardIntactAfter(10));

    GuardedBuffer cut;
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER, FormatBoundedW(cut.units, 9, L"CLSID\\%ls", L"{A}"));
    EXPECT_STREQ(L"CLSID\\{A", cut.units);
    EXPECT_TRUE(cut.GuardIntactAfter(9));
}

TEST(FormatBoundedW, LongTextIsCutToTheCapacityAndTerminated) {
    WCHAR longArgument[300];
    wmemset(longArgument, L'k', 299);
    longArgument[299] = L'\0';

    GuardedBuffer buffer;
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER, FormatBoundedW(buffer.units, 256, L"%ls\\InprocServer32", longArgument));
    EXPECT_EQ(255u, wcslen(buffer.units));
    EXPECT_EQ(L'k', buffer.units[254]);
    EXPECT_TRUE(buffer.GuardIntactAfter(256));
}

}  // namespace
