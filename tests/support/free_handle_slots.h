// Handle-leak checks that work under Wine, whose GetProcessHandleCount always answers 0.
#pragma once

#include <vector>

#include <windows.h>

// The values that the next `count` new handles of this process would get. A new handle takes the
// lowest free slot of the handle table, so a handle leaked in between takes one of these slots
// and the list changes:
//   const auto before = FreeHandleSlots();  ...  EXPECT_EQ(FreeHandleSlots(), before);
std::vector<HANDLE> FreeHandleSlots(size_t count = 64);
