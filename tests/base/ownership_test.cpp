// The owners of src/base: every handle and reference they take is given back exactly once, and
// values that stand for "none" are never closed.
#include <gtest/gtest.h>

#include <windows.h>
#include <unknwn.h>

#include <utility>
#include <vector>

#include "base/com_ptr.h"
#include "base/unique_handle.h"

namespace {

// A handle kind whose closes are recorded; -1 and 0 both mean "no handle", as for kernel handles.
std::vector<int> g_closed;
void RecordClose(int handle) noexcept { g_closed.push_back(handle); }
bool IsRecordedHandle(int handle) noexcept { return handle != 0 && handle != -1; }
using RecordedHandle = UniqueHandle<int, RecordClose, IsRecordedHandle>;

TEST(UniqueHandle, ClosesEachHandleOnceAndNeverANoneValue) {
    g_closed.clear();
    {
        RecordedHandle failed(-1);
        EXPECT_FALSE(failed);
        EXPECT_EQ(0, failed.Get());

        RecordedHandle first(7);
        RecordedHandle moved(std::move(first));
        EXPECT_FALSE(first);
        RecordedHandle second(8);
        moved = std::move(second);  // closes 7, takes 8
        EXPECT_EQ(std::vector<int>{7}, g_closed);

        *moved.Receive() = 9;  // closes 8 before the opening call writes
        EXPECT_EQ((std::vector<int>{7, 8}), g_closed);
    }
    EXPECT_EQ((std::vector<int>{7, 8, 9}), g_closed);
}

TEST(UniqueHandle, KernelHandleTakesAFailedCreateFileAsNoHandle) {
    KernelHandle missing(CreateFileW(L"Z:\\no\\such\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(missing);
    EXPECT_EQ(nullptr, missing.Get());

    KernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    const HANDLE raw = event.Get();
    event.Close();
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(raw, &flags));
}

// Counts its references; never deletes itself (it lives on the test's stack).
struct CountedObject : IUnknown {
    LONG references = 1;
    IFACEMETHODIMP QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    IFACEMETHODIMP_(ULONG) AddRef() override { return ++references; }
    IFACEMETHODIMP_(ULONG) Release() override { return --references; }
};

TEST(ComPtr, AttachReceiveAndDetachHandOverReferencesAndAssignmentKeepsCountsExact) {
    CountedObject created;  // holds its creation reference
    CountedObject other;
    {
        ComPtr<CountedObject> held;
        held.Attach(&created);
        EXPECT_EQ(1, created.references);

        ComPtr<CountedObject> copy = held;
        EXPECT_EQ(2, created.references);
        copy = copy.Get();  // the held object again: taken before it is let go
        EXPECT_EQ(2, created.references);
        copy = &other;
        EXPECT_EQ(1, created.references);
        EXPECT_EQ(2, other.references);
        copy.Reset();
        EXPECT_EQ(1, other.references);
        *held.Receive() = &other;  // an out-parameter's reference: taken over, the old one let go
        EXPECT_EQ(0, created.references);
        EXPECT_EQ(&other, held.Detach());  // handed on with its reference, nothing held any more
        EXPECT_FALSE(held);
        EXPECT_EQ(1, other.references);
        other.Release();
    }
    EXPECT_EQ(0, created.references);
    EXPECT_EQ(0, other.references);
}

}  // namespace
