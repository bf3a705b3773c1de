// How a fuzz target reports a broken rule: one line naming it, then abort(),
// which libFuzzer records as a crash and saves the input for.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace dcfuzz {

[[noreturn]] inline void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

}  // namespace dcfuzz
