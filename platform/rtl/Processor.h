// The processor identification instruction: which instruction-set extensions the processor has.
#pragma once

#include <cstdint>

// The four registers one identification leaf answers with.
struct TCpuidRegisters {
    uint32_t Eax = 0;
    uint32_t Ebx = 0;
    uint32_t Ecx = 0;
    uint32_t Edx = 0;
};

// True when the processor has the identification instruction: on x86-64 the identification bit
// of the flags register can be toggled; other processors have no such instruction.
bool CpuidSupported();
// The registers of leaf Leaf (sub-leaf 0); all zero when the instruction is missing.
TCpuidRegisters Cpuid(uint32_t Leaf);
