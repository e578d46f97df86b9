// Allocation failure on demand for the throwing operator new, for tests of the code that builds
// its buffers with it (the agent exchange). The replacement operator in failing_new.cpp is linked
// into every test program; unarmed, it allocates as the standard one does. It throws
// std::bad_alloc on the calling thread once a budget of allocations is spent. Other threads (the
// scripted agent's) are never affected.
#pragma once

#include <cstddef>

// While it lives, the calling thread's allocations after the first `budget` ones fail.
class AllocationBudget {
public:
    explicit AllocationBudget(std::size_t budget);
    ~AllocationBudget();
    AllocationBudget(const AllocationBudget&) = delete;
    AllocationBudget& operator=(const AllocationBudget&) = delete;

    // Whether an allocation was refused while this budget was in force.
    bool Exhausted() const;
};
