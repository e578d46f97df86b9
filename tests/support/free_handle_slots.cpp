#include "support/free_handle_slots.h"

#include "base/unique_handle.h"

std::vector<HANDLE> FreeHandleSlots(size_t count) {
    std::vector<KernelHandle> probes;
    std::vector<HANDLE> slots;
    for (size_t i = 0; i < count; ++i) {
        probes.emplace_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        slots.push_back(probes.back().Get());
    }
    return slots;  // the probes close here, freeing the slots again
}
