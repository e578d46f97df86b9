// ComObject, the IUnknown half of every COM class of the module, tested once for all of them:
// the reference count, QueryInterface for its one interface, the module count that it holds,
// and its destruction at the final Release, inside that count.
#include <gtest/gtest.h>

#include <windows.h>
#include <objidl.h>
#include <unknwn.h>

#include "base/com_object.h"
#include "module_lock_count.h"

namespace {

// A class of one interface (IClassFactory: any would do) that records its destruction.
class Probe final : public ComObject<Probe, IClassFactory, ModuleCountPolicy> {
public:
    static inline int destroyed = 0;
    static inline LONG countAtDestruction = 0;

    IFACEMETHODIMP CreateInstance(IUnknown*, REFIID, void** ppv) noexcept override {
        *ppv = nullptr;
        return E_NOTIMPL;
    }
    IFACEMETHODIMP LockServer(BOOL) noexcept override { return E_NOTIMPL; }

private:
    friend ComObject;
    ~Probe() {
        ++destroyed;
        countAtDestruction = ModuleLockCount;
    }
};

TEST(ComObject, CountsReferencesAnswersItsOneInterfaceAndHoldsTheModuleUntilDestroyed) {
    const LONG idle = ModuleLockCount;
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, CreateComObject<Probe>(IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(idle + 1, ModuleLockCount);

    // IUnknown and the one interface give the same object, each with a reference; nothing else.
    IUnknown* unknown = nullptr;
    ASSERT_EQ(S_OK, factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(static_cast<IUnknown*>(factory), unknown);
    void* other = factory;
    EXPECT_EQ(E_NOINTERFACE, factory->QueryInterface(IID_IPersist, &other));
    EXPECT_EQ(nullptr, other);

    // Each call returns the count it produced; the release that reaches 0 destroys, and only then
    // does the module count go back.
    EXPECT_EQ(3u, factory->AddRef());
    EXPECT_EQ(2u, factory->Release());
    EXPECT_EQ(1u, unknown->Release());
    EXPECT_EQ(0, Probe::destroyed);
    EXPECT_EQ(0u, factory->Release());
    EXPECT_EQ(1, Probe::destroyed);
    EXPECT_EQ(idle + 1, Probe::countAtDestruction);
    EXPECT_EQ(idle, ModuleLockCount);

    // A creation whose query fails leaves nothing behind.
    other = factory;
    EXPECT_EQ(E_NOINTERFACE, CreateComObject<Probe>(IID_IPersist, &other));
    EXPECT_EQ(nullptr, other);
    EXPECT_EQ(2, Probe::destroyed);
    EXPECT_EQ(idle, ModuleLockCount);
}

}  // namespace
