// A source file of whichever floor tests/layers/CMakeLists.txt compiles it as, with that floor's
// include roots; it includes the one header that the probe names.
#include QM_PROBE_HEADER
