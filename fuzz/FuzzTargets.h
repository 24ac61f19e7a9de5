// The fuzz targets: each one hands bytes from memory to a reader of the library the way a caller
// does. The libFuzzer programs and the regression test of the minimised findings run the same
// targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

using TFuzzTarget = void (*)(const uint8_t* Data, size_t Size);

// Starts the library as the viewer does (units registered, then the library's start-up) and
// puts the toolkit on its off-screen platform; once per process, before the first target runs.
void StartFuzzLibrary();
// The target of that name (a line of fuzz/targets.txt); nullptr when there is none.
TFuzzTarget FindFuzzTarget(std::string_view Name);
