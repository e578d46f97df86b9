#include "provider_call.h"

#include <atomic>

namespace {

std::atomic<const char*> g_runningCall{nullptr};

}  // namespace

const char* NameProviderCall(const char* call) noexcept {
    g_runningCall.store(call);
    return call;
}

const char* RunningProviderCall() noexcept { return g_runningCall.load(); }
