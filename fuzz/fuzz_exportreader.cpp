// Fuzzes the export reader on arbitrary file bytes; see harness.h.
#include "harness.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (const char* failure = fuzzharness::exportReader(data, size)) {
        std::fprintf(stderr, "broken invariant: %s\n", failure);
        std::abort();
    }
    return 0;
}
