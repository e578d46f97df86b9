#include "support/failing_new.h"

#include <cstdlib>
#include <new>

namespace {

thread_local bool t_limited = false;
thread_local std::size_t t_remaining = 0;
thread_local bool t_refused = false;

}  // namespace

AllocationBudget::AllocationBudget(std::size_t budget) {
    t_remaining = budget;
    t_refused = false;
    t_limited = true;
}

AllocationBudget::~AllocationBudget() { t_limited = false; }

bool AllocationBudget::Exhausted() const { return t_refused; }

void* operator new(std::size_t size) {
    if (t_limited) {
        if (t_remaining == 0) {
            t_refused = true;
            throw std::bad_alloc();
        }
        --t_remaining;
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
