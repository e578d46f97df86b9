#include "support/nothrow_new_failure.h"

#include <cstdlib>
#include <new>

namespace {

thread_local unsigned t_allocationsUntilFailure = 0;  // 0: unarmed
thread_local bool t_failureDelivered = false;

}  // namespace

// Replaces the standard nothrow form for the whole program. It must stay compatible with the
// standard operator delete, which returns blocks with free().
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (t_allocationsUntilFailure != 0 && --t_allocationsUntilFailure == 0) {
        t_failureDelivered = true;
        return nullptr;
    }
    return std::malloc(size != 0 ? size : 1);
}

ScopedNothrowNewFailure::ScopedNothrowNewFailure(unsigned nth) noexcept {
    t_allocationsUntilFailure = nth;
    t_failureDelivered = false;
}

ScopedNothrowNewFailure::~ScopedNothrowNewFailure() { t_allocationsUntilFailure = 0; }

bool ScopedNothrowNewFailure::Delivered() const noexcept { return t_failureDelivered; }
