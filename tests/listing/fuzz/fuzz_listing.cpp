// libFuzzer entry point over the line converter and the six parse operations.
#include "fuzz_listing_one.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (!tarsel::fuzz::RunListingInput(data, size))
        __builtin_trap();
    return 0;
}
