// Fuzzes the post check of one body (first line: dummy tag, rest: body); see harness.h.
#include "harness.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (const char* failure = fuzzharness::postCheck(data, size)) {
        std::fprintf(stderr, "broken invariant: %s\n", failure);
        std::abort();
    }
    return 0;
}
