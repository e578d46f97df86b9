#include <gtest/gtest.h>

#include <objbase.h>
#include <ocidl.h>
#include <credentialprovider.h>

#include "module_lock_count.h"
#include "provider_class_id.h"
#include "support/nothrow_new_failure.h"

namespace {

void* const kUntouched = reinterpret_cast<void*>(static_cast<INT_PTR>(0x5A5A5A5A));

// Every object a test creates must be gone again by its end, with its module count.
class ClassFactoryTest : public ::testing::Test {
protected:
    void SetUp() override { m_countBefore = ModuleLockCount; }
    void TearDown() override { EXPECT_EQ(m_countBefore, ModuleLockCount) << "a count outlived its object"; }

    LONG CountChange() const { return ModuleLockCount - m_countBefore; }

    static IClassFactory* NewFactory() {
        IClassFactory* factory = nullptr;
        EXPECT_EQ(S_OK, DllGetClassObject(CLSID_QMCredProvider, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
        return factory;
    }

private:
    LONG m_countBefore = 0;
};

TEST_F(ClassFactoryTest, ServesOnlyTheProviderClass) {
    CLSID nearMiss = CLSID_QMCredProvider;
    nearMiss.Data4[7] ^= 0x01;
    const CLSID* const others[] = {&nearMiss, &IID_IClassFactory, &GUID_NULL};
    for (const CLSID* other : others) {
        void* object = kUntouched;
        EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, DllGetClassObject(*other, IID_IClassFactory, &object));
        EXPECT_EQ(kUntouched, object);
        EXPECT_EQ(0, CountChange());
    }
}

TEST_F(ClassFactoryTest, EachFactoryIsNewAndHoldsOneCountUntilItsFinalRelease) {
    ASSERT_EQ(S_OK, DllCanUnloadNow()) << "the module starts idle";
    IClassFactory* first = NewFactory();
    IUnknown* second = nullptr;
    ASSERT_EQ(S_OK, DllGetClassObject(CLSID_QMCredProvider, IID_IUnknown, reinterpret_cast<void**>(&second)));
    EXPECT_NE(static_cast<IUnknown*>(first), second);
    EXPECT_EQ(2, CountChange());
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());

    EXPECT_EQ(2u, first->AddRef());
    EXPECT_EQ(1u, first->Release());
    EXPECT_EQ(0u, first->Release());
    EXPECT_EQ(1, CountChange());
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
    EXPECT_EQ(0u, second->Release());
    EXPECT_EQ(S_OK, DllCanUnloadNow());
}

TEST_F(ClassFactoryTest, AnswersIUnknownAndIClassFactoryOnly) {
    IClassFactory* factory = NewFactory();
    IUnknown* unknown = nullptr;
    ASSERT_EQ(S_OK, factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(static_cast<IUnknown*>(factory), unknown);
    unknown->Release();

    const IID* const refused[] = {&IID_ICredentialProvider, &IID_IClassFactory2, &IID_IMarshal, &IID_IDispatch};
    for (const IID* iid : refused) {
        void* object = kUntouched;
        EXPECT_EQ(E_NOINTERFACE, factory->QueryInterface(*iid, &object));
        EXPECT_EQ(nullptr, object);

        // Asked of DllGetClassObject, the new factory is destroyed again with its count.
        object = kUntouched;
        EXPECT_EQ(E_NOINTERFACE, DllGetClassObject(CLSID_QMCredProvider, *iid, &object));
        EXPECT_EQ(nullptr, object);
        EXPECT_EQ(1, CountChange());
    }
    factory->Release();
}

TEST_F(ClassFactoryTest, CreatesAFreshCountedProviderEachTimeAndRefusesAggregation) {
    IClassFactory* factory = NewFactory();
    ICredentialProvider* first = nullptr;
    ICredentialProvider* second = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_ICredentialProvider, reinterpret_cast<void**>(&first)));
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_ICredentialProvider, reinterpret_cast<void**>(&second)));
    EXPECT_NE(first, second);
    EXPECT_EQ(3, CountChange());
    EXPECT_EQ(0u, first->Release());
    EXPECT_EQ(0u, second->Release());
    EXPECT_EQ(1, CountChange());

    IUnknown* provider = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&provider)));
    provider->Release();

    void* object = kUntouched;
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(1, CountChange()) << "the refused provider is destroyed";

    IUnknown* outer = factory;
    for (const IID* iid : {&IID_IUnknown, &IID_ICredentialProvider}) {
        object = kUntouched;
        EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer, *iid, &object));
        EXPECT_EQ(kUntouched, object);
        EXPECT_EQ(1, CountChange());
    }
    factory->Release();
}

TEST_F(ClassFactoryTest, ServerLocksKeepTheModuleBusyWithNoObjectAlive) {
    IClassFactory* factory = NewFactory();
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory->Release();
    EXPECT_EQ(2, CountChange());
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());

    // Locks belong to the module, not to a factory: another one may take them back.
    factory = NewFactory();
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(1, CountChange());

    // An unmatched unlock is not idle either: only exactly zero is.
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory->Release();
    EXPECT_EQ(-1, CountChange());
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
    factory = NewFactory();
    factory->LockServer(TRUE);
    factory->Release();
    EXPECT_EQ(S_OK, DllCanUnloadNow());
}

TEST_F(ClassFactoryTest, ExhaustedMemoryCreatesNothing) {
    void* object = kUntouched;
    {
        ScopedNothrowNewFailure failure;
        EXPECT_EQ(E_OUTOFMEMORY, DllGetClassObject(CLSID_QMCredProvider, IID_IClassFactory, &object));
        EXPECT_TRUE(failure.Delivered());
    }
    EXPECT_EQ(0, CountChange());

    IClassFactory* factory = NewFactory();
    {
        ScopedNothrowNewFailure failure;
        EXPECT_EQ(E_OUTOFMEMORY, factory->CreateInstance(nullptr, IID_ICredentialProvider, &object));
        EXPECT_TRUE(failure.Delivered());
    }
    EXPECT_EQ(1, CountChange());
    factory->Release();
}

}  // namespace
