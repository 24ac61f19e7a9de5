// The libFuzzer entry points of one target program; SV_FUZZ_TARGET names the target at build
// time.
#include "fuzz/FuzzTargets.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartFuzzLibrary();
    if (FindFuzzTarget(SV_FUZZ_TARGET) == nullptr) {
        std::fprintf(stderr, "no fuzz target named %s\n", SV_FUZZ_TARGET);
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    static const TFuzzTarget target = FindFuzzTarget(SV_FUZZ_TARGET);
    target(Data, Size);
    return 0;
}

// Memory the font configuration library keeps for the process's lifetime without a pointer to it
// (the metafile target writes text through the toolkit's fonts).
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}
