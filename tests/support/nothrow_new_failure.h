// Makes the non-throwing operator new fail on demand, for tests of the objects that the module
// creates with new (std::nothrow): class factories, providers and tiles. The replacement
// operator lives in nothrow_new_failure.cpp and is linked into every program that uses this
// class; unarmed, it allocates as the standard one does.
//
// Thread scope: only allocations on the thread that armed the failure are counted.
#pragma once

class ScopedNothrowNewFailure {
public:
    // The nth non-throwing allocation on this thread from now fails (1: the very next one).
    explicit ScopedNothrowNewFailure(unsigned nth = 1) noexcept;
    ~ScopedNothrowNewFailure();

    ScopedNothrowNewFailure(const ScopedNothrowNewFailure&) = delete;
    ScopedNothrowNewFailure& operator=(const ScopedNothrowNewFailure&) = delete;

    // Whether the armed failure has happened yet.
    bool Delivered() const noexcept;
};
