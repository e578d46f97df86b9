// The provider call that is running, for what credhost says when a provider crashes inside it.
// The host core names each call (a string literal) just before it makes it, in the same places
// that record a failed step; the window's provider thread names its calls here too. One name
// per process: credhost drives one provider at a time.
#pragma once

// Names the call about to be made, and returns the name (so that it can also be kept as a
// failed step); null when no provider call is running.
const char* NameProviderCall(const char* call) noexcept;
const char* RunningProviderCall() noexcept;
