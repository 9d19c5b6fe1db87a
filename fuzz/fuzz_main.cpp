// libFuzzer's entry for one fuzz target; FUZZ_ENTRY names the entry point it drives. A broken
// promise (not only a crash) stops the fuzzer with the input kept.
#include "fuzz_entries.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (FUZZ_ENTRY(data, size) != 0) {
        std::fprintf(stderr, "finding: %s\n", fuzz_last_problem());
        std::abort();
    }
    return 0;
}
