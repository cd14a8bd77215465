// A plain driver for a fuzz target: hands each file named on the command line to
// LLVMFuzzerTestOneInput once. Built with any compiler (and run under wine for Windows),
// it replays the seed corpora in every test run, with the same checks the fuzzer makes:
// a broken property aborts.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <vector>

#include "UtVectors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    // Which side of the processor check runs. With RIZEROZ_EXPECT_SSE2 set to 0 or 1 (the
    // i686 step sets it for each processor model it emulates), any other side fails.
    bool sse2 = util_HaveSSE2();
    printf("vector paths: %s\n", sse2 ? "SSE2" : "plain");
    const char* expected = getenv("RIZEROZ_EXPECT_SSE2");
    if (expected != nullptr && *expected != '\0' && (*expected == '1') != sse2)
    {
        fprintf(stderr, "the processor check chose the %s paths; RIZEROZ_EXPECT_SSE2=%s\n", sse2 ? "SSE2" : "plain",
                expected);
        return 1;
    }
    for (int i = 1; i < argc; ++i)
    {
        FILE* file = fopen(argv[i], "rb");
        if (file == nullptr)
        {
            fprintf(stderr, "%s: cannot be opened\n", argv[i]);
            return 1;
        }
        std::vector<uint8_t> data(1);   // one spare byte, so that data() is never null
        uint8_t buffer[4096];
        size_t got;
        while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0)
            data.insert(data.end(), buffer, buffer + got);
        fclose(file);
        LLVMFuzzerTestOneInput(data.data() + 1, data.size() - 1);
    }
    printf("%d inputs replayed\n", argc - 1);
    return argc > 1 ? 0 : 1;
}
