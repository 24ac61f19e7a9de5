// Processor identification on x86-64 through the compiler's intrinsics; elsewhere nothing.
#include "platform/rtl/Processor.h"

#if defined(__x86_64__)
#include <cpuid.h>
#endif

#if defined(__x86_64__)

bool CpuidSupported() {
    // Bit 21 of the flags register sticks when changed exactly when the instruction exists; the
    // flags are restored afterwards.
    constexpr uint64_t idFlag = 0x200000;
    const uint64_t saved = __builtin_ia32_readeflags_u64();
    __builtin_ia32_writeeflags_u64(saved ^ idFlag);
    const uint64_t toggled = __builtin_ia32_readeflags_u64();
    __builtin_ia32_writeeflags_u64(saved);
    return ((saved ^ toggled) & idFlag) != 0;
}

TCpuidRegisters Cpuid(uint32_t Leaf) {
    TCpuidRegisters r;
    if (CpuidSupported()) __cpuid_count(Leaf, 0, r.Eax, r.Ebx, r.Ecx, r.Edx);
    return r;
}

#else

bool CpuidSupported() {
    return false;
}

TCpuidRegisters Cpuid(uint32_t) {
    return {};
}

#endif
