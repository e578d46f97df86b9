#include "logon/kerberos_logon_packer.h"

#include <gtest/gtest.h>
#include <ntsecapi.h>
#include <objbase.h>

#include <wincred.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "logon/logon_system_calls.h"
#include "provider_class_id.h"
#include "support/kerberos_logon_reader.h"
#include "support/malloc_spy.h"
#include "support/scoped_system_calls.h"

namespace {

// Frees the block of a filled record when the test ends, however it ends.
struct PackedSerialization {
    CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION record = {};
    ~PackedSerialization() { CoTaskMemFree(record.rgbSerialization); }
    PackedLogon Read() const { return ReadPackedLogon(record.rgbSerialization, record.cbSerialization); }
};

// A record filled with a recognisable pattern, to show that a failing call wrote nothing.
CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION PatternRecord() {
    CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION record;
    memset(&record, 0xA5, sizeof(record));
    return record;
}

bool SameBytes(const CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION& a,
               const CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION& b) {
    return memcmp(&a, &b, sizeof(a)) == 0;
}

BOOL WINAPI FiveLetterComputerName(LPWSTR name, LPDWORD size) {
    wcscpy(name, L"PC123");
    *size = 5;
    return TRUE;
}

// The whole block a layout should hold, byte for byte, written from the layout's description:
// the header's fields at their offsets, every other header byte zero, then the bodies.
std::vector<BYTE> ExpectedBlock(const PackedLogonLayout& layout, ULONG messageType,
                                const std::vector<std::wstring>& bodies) {
    std::vector<BYTE> block(layout.headerSize);
    auto put = [&](size_t at, ULONG64 value, size_t bytes) {
        for (size_t i = 0; i < bytes; ++i) {
            block[at + i] = static_cast<BYTE>(value >> (8 * i));
        }
    };
    put(0, messageType, 4);
    for (size_t i = 0; i < bodies.size(); ++i) {
        const size_t bytes = bodies[i].size() * sizeof(wchar_t);
        put(layout.stringAt[i], bytes, 2);
        put(layout.stringAt[i] + 2, bytes, 2);
        put(layout.stringAt[i] + layout.bufferAt, block.size(), layout.bufferSize);
        const BYTE* body = reinterpret_cast<const BYTE*>(bodies[i].data());
        block.insert(block.end(), body, body + bytes);
    }
    return block;
}

// The form follows the host's scenario and flags: unlock needs KerbWorkstationUnlockLogon, and a
// 32-bit caller of the credential prompt (CREDUIWIN_PACK_32_WOW) the 32-bit layout; other flags
// change nothing. With a five-letter computer name and three- and eight-unit values the 64-bit
// block is 96 bytes (offsets 64, 74, 80), the 32-bit one 68 (offsets 36, 46, 52).
TEST(KerberosLogonPacker, PacksTheFormTheScenarioAsksForByteForByte) {
    ScopedSystemCalls<LogonSystemCalls> calls(g_logonSystemCalls);
    calls->getComputerName = FiveLetterComputerName;
    struct Row {
        CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario;
        DWORD flags;
        ULONG messageType;
        const PackedLogonLayout& layout;
        ULONG size;
    };
    const Row rows[] = {
        {CPUS_LOGON, 0, KerbInteractiveLogon, kPackedLogon64, 96},
        {CPUS_UNLOCK_WORKSTATION, 0, KerbWorkstationUnlockLogon, kPackedLogon64, 96},
        {CPUS_CREDUI, 0, KerbInteractiveLogon, kPackedLogon64, 96},
        {CPUS_CREDUI, CREDUIWIN_GENERIC | CREDUIWIN_ENUMERATE_ADMINS, KerbInteractiveLogon, kPackedLogon64, 96},
        {CPUS_CREDUI, CREDUIWIN_PACK_32_WOW, KerbInteractiveLogon, kPackedLogon32, 68},
        {CPUS_CREDUI, CREDUIWIN_PACK_32_WOW | CREDUIWIN_GENERIC, KerbInteractiveLogon, kPackedLogon32, 68},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.scenario) + " " + std::to_string(row.flags));
        PackedSerialization packed;
        ASSERT_EQ(S_OK, KerberosLogonPacker(L"bob", L"s3cr3t!x", row.scenario, row.flags, &packed.record));
        ASSERT_EQ(row.size, packed.record.cbSerialization);
        const std::vector<BYTE> actual(packed.record.rgbSerialization,
                                       packed.record.rgbSerialization + packed.record.cbSerialization);
        EXPECT_EQ(ExpectedBlock(row.layout, row.messageType, {L"PC123", L"bob", L"s3cr3t!x"}), actual);
        const PackedLogon logon =
            ReadPackedLogon(packed.record.rgbSerialization, packed.record.cbSerialization, row.layout);
        EXPECT_EQ("", logon.faults);
        EXPECT_EQ(L"s3cr3t!x", logon.password.text);
    }
}

TEST(KerberosLogonPacker, FillsThePackageNumberFromLsaAndTheProviderClassId) {
    PackedSerialization packed;
    ASSERT_EQ(S_OK, KerberosLogonPacker(L"alice", L"pw", CPUS_LOGON, 0, &packed.record));
    EXPECT_EQ(KerberosPackageFromLsa(), packed.record.ulAuthenticationPackage);
    EXPECT_NE(0u, packed.record.ulAuthenticationPackage);

    // The bytes that the class id's registry text names: Windows formats them back into it.
    EXPECT_TRUE(IsEqualGUID(CLSID_QMCredProvider, packed.record.clsidCredentialProvider));
    wchar_t text[39] = {};
    ASSERT_EQ(39, StringFromGUID2(packed.record.clsidCredentialProvider, text, 39));
    EXPECT_STREQ(kProviderClsidText, text);
}

TEST(KerberosLogonPacker, EmptyValuesGetZeroLengthAndTheOffsetWhereTheirBodyWouldBegin) {
    const size_t ld = LocalComputerName().size();
    PackedSerialization packed;
    ASSERT_EQ(S_OK, KerberosLogonPacker(L"", L"", CPUS_LOGON, 0, &packed.record));
    EXPECT_EQ(64 + 2 * ld, packed.record.cbSerialization);
    PackedLogon logon = packed.Read();
    EXPECT_EQ("", logon.faults);
    EXPECT_EQ(0, logon.userName.length);
    EXPECT_EQ(0, logon.password.length);
    EXPECT_EQ(64 + 2 * ld, logon.userName.offset);
    EXPECT_EQ(packed.record.cbSerialization, logon.password.offset);

    PackedSerialization noPassword;
    ASSERT_EQ(S_OK, KerberosLogonPacker(L"carol", L"", CPUS_LOGON, 0, &noPassword.record));
    EXPECT_EQ("", noPassword.Read().faults);
    EXPECT_EQ(noPassword.record.cbSerialization, noPassword.Read().password.offset);
}

TEST(KerberosLogonPacker, AcceptsValuesUpTo32767UnitsAndRefusesLongerOnesBeforeAllocating) {
    const std::wstring longest(32767, L'n');
    const std::wstring tooLong(32768, L'p');
    MallocSpy& spy = MallocSpy::Get();

    PackedSerialization packed;
    ASSERT_EQ(S_OK, KerberosLogonPacker(longest.c_str(), longest.c_str(), CPUS_LOGON, 0, &packed.record));
    PackedLogon logon = packed.Read();
    EXPECT_EQ("", logon.faults);
    EXPECT_EQ(65534, logon.userName.length);
    EXPECT_EQ(65534, logon.password.maximumLength);
    EXPECT_EQ(longest, logon.password.text);

    // 32 768 units need a Length of 65 536, which 16 bits cannot hold.
    spy.Mark();
    CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION record = PatternRecord();
    EXPECT_EQ(E_INVALIDARG, KerberosLogonPacker(tooLong.c_str(), L"pw", CPUS_LOGON, 0, &record));
    EXPECT_EQ(E_INVALIDARG, KerberosLogonPacker(L"dave", tooLong.c_str(), CPUS_LOGON, 0, &record));
    EXPECT_EQ(0u, spy.AllocationsSinceMark());
    EXPECT_TRUE(SameBytes(PatternRecord(), record));
}

TEST(KerberosLogonPacker, NullArgumentsAndAFailedAllocationLeaveTheRecordUntouched) {
    MallocSpy& spy = MallocSpy::Get();
    spy.Mark();
    CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION record = PatternRecord();
    EXPECT_EQ(E_INVALIDARG, KerberosLogonPacker(nullptr, L"pw", CPUS_LOGON, 0, &record));
    EXPECT_EQ(E_INVALIDARG, KerberosLogonPacker(L"erin", nullptr, CPUS_LOGON, 0, &record));
    EXPECT_EQ(E_INVALIDARG, KerberosLogonPacker(L"erin", L"pw", CPUS_LOGON, 0, nullptr));
    EXPECT_EQ(0u, spy.AllocationsSinceMark());
    EXPECT_TRUE(SameBytes(PatternRecord(), record));

    unsigned failingRuns = ForEachAllocationFailure([&](unsigned) {
        CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION attempt = PatternRecord();
        HRESULT hr = KerberosLogonPacker(L"erin", L"pw", CPUS_LOGON, 0, &attempt);
        if (spy.FailuresDelivered() > 0) {
            EXPECT_EQ(E_OUTOFMEMORY, hr);
            EXPECT_TRUE(SameBytes(PatternRecord(), attempt));
            return;
        }
        EXPECT_EQ(S_OK, hr);
        CoTaskMemFree(attempt.rgbSerialization);
    });
    EXPECT_EQ(1u, failingRuns);  // the block is the packer's only allocation
    EXPECT_EQ(0u, spy.OutstandingSinceMark());
}

TEST(KerberosLogonPacker, EveryCallHandsOutANewBlockThatTheReceiverOwns) {
    MallocSpy& spy = MallocSpy::Get();
    spy.Mark();
    {
        PackedSerialization first;
        PackedSerialization second;
        ASSERT_EQ(S_OK, KerberosLogonPacker(L"frank", L"pw", CPUS_LOGON, 0, &first.record));
        ASSERT_EQ(S_OK, KerberosLogonPacker(L"frank", L"pw", CPUS_LOGON, 0, &second.record));
        EXPECT_NE(first.record.rgbSerialization, second.record.rgbSerialization);
        EXPECT_EQ(2u, spy.OutstandingSinceMark());
    }
    EXPECT_EQ(0u, spy.OutstandingSinceMark());
}

BOOL WINAPI FailingComputerName(LPWSTR, LPDWORD) {
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return FALSE;
}

TEST(KerberosLogonPacker, AComputerNameThatCannotBeHadPacksAnEmptyDomain) {
    ScopedSystemCalls<LogonSystemCalls> calls(g_logonSystemCalls);
    calls->getComputerName = FailingComputerName;
    PackedSerialization packed;
    ASSERT_EQ(S_OK, KerberosLogonPacker(L"bob", L"pw", CPUS_LOGON, 0, &packed.record));
    EXPECT_EQ(74u, packed.record.cbSerialization);
    PackedLogon logon = packed.Read();
    EXPECT_EQ("", logon.faults);
    EXPECT_EQ(0, logon.domain.length);
    EXPECT_EQ(64u, logon.userName.offset);
    EXPECT_EQ(L"bob", logon.userName.text);
}

// Stand-ins for LSA, which under Wine always connects and always knows "Kerberos".
struct FakeLsa {
    static inline NTSTATUS connectStatus = 0;
    static inline NTSTATUS lookupStatus = 0;
    static inline bool lookupWrites = true;
    static inline ULONG lookupPackage = 0;
    static inline int connects = 0;
    static inline int lookups = 0;
    static inline int deregistrations = 0;
    static inline HANDLE lastLookupHandle = nullptr;
    static inline HANDLE lastDeregisteredHandle = nullptr;
    static inline std::string lastPackageName;

    static HANDLE Handle() { return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x5A5A)); }

    static NTSTATUS NTAPI Connect(PHANDLE handle) {
        ++connects;
        if (connectStatus == 0) {
            *handle = Handle();
        }
        return connectStatus;
    }
    static NTSTATUS NTAPI Lookup(HANDLE handle, PLSA_STRING name, PULONG package) {
        ++lookups;
        lastLookupHandle = handle;
        lastPackageName.assign(name->Buffer, name->Length);
        EXPECT_EQ(name->Length + 1, name->MaximumLength);
        EXPECT_EQ('\0', name->Buffer[name->Length]);
        if (lookupWrites) {
            *package = lookupPackage;
        }
        return lookupStatus;
    }
    static NTSTATUS NTAPI Deregister(HANDLE handle) {
        ++deregistrations;
        lastDeregisteredHandle = handle;
        return 0;
    }
};

class KerberosLogonPackerWithFakeLsa : public ::testing::Test {
protected:
    void SetUp() override {
        m_calls->connectUntrusted = FakeLsa::Connect;
        m_calls->lookupAuthenticationPackage = FakeLsa::Lookup;
        m_calls->deregisterLogonProcess = FakeLsa::Deregister;
        FakeLsa::connectStatus = 0;
        FakeLsa::lookupStatus = 0;
        FakeLsa::lookupWrites = true;
        FakeLsa::lookupPackage = 42;
        FakeLsa::connects = FakeLsa::lookups = FakeLsa::deregistrations = 0;
    }
    // Packs with the fake in place and checks that the rest of the record is complete.
    ULONG PackageNumberAfterPacking() {
        PackedSerialization packed;
        packed.record.ulAuthenticationPackage = 0xFFFFFFFF;
        EXPECT_EQ(S_OK, KerberosLogonPacker(L"gina", L"pw", CPUS_LOGON, 0, &packed.record));
        EXPECT_EQ("", packed.Read().faults);
        EXPECT_EQ(L"gina", packed.Read().userName.text);
        EXPECT_TRUE(IsEqualGUID(CLSID_QMCredProvider, packed.record.clsidCredentialProvider));
        return packed.record.ulAuthenticationPackage;
    }

private:
    ScopedSystemCalls<LogonSystemCalls> m_calls{g_logonSystemCalls};
};

TEST_F(KerberosLogonPackerWithFakeLsa, LooksUpKerberosOnItsOwnConnectionAndClosesIt) {
    EXPECT_EQ(42u, PackageNumberAfterPacking());
    EXPECT_EQ("Kerberos", FakeLsa::lastPackageName);
    EXPECT_EQ(FakeLsa::Handle(), FakeLsa::lastLookupHandle);
    EXPECT_EQ(FakeLsa::Handle(), FakeLsa::lastDeregisteredHandle);
    EXPECT_EQ(1, FakeLsa::deregistrations);

    // Nothing is remembered: a second packing connects and looks up again.
    EXPECT_EQ(42u, PackageNumberAfterPacking());
    EXPECT_EQ(2, FakeLsa::connects);
    EXPECT_EQ(2, FakeLsa::lookups);
    EXPECT_EQ(2, FakeLsa::deregistrations);
}

TEST_F(KerberosLogonPackerWithFakeLsa, AFailedConnectionGivesPackageZeroAndStillSucceeds) {
    FakeLsa::connectStatus = static_cast<NTSTATUS>(0xC0000022);  // STATUS_ACCESS_DENIED
    EXPECT_EQ(0u, PackageNumberAfterPacking());
    EXPECT_EQ(0, FakeLsa::lookups);
    EXPECT_EQ(0, FakeLsa::deregistrations);
}

TEST_F(KerberosLogonPackerWithFakeLsa, AFailedLookupPassesOnWhateverItLeftInTheNumber) {
    FakeLsa::lookupStatus = static_cast<NTSTATUS>(0xC00000FE);  // STATUS_NO_SUCH_PACKAGE
    FakeLsa::lookupWrites = false;
    EXPECT_EQ(0u, PackageNumberAfterPacking());
    EXPECT_EQ(1, FakeLsa::deregistrations);

    FakeLsa::lookupWrites = true;
    FakeLsa::lookupPackage = 7;
    EXPECT_EQ(7u, PackageNumberAfterPacking());
    EXPECT_EQ(2, FakeLsa::deregistrations);
}

}  // namespace
