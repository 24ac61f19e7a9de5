// Natural ordering of names.
#include "platform/shell/LogicalCompare.h"

#include "platform/rtl/TextUtils.h"

namespace {

bool IsDigit(char16_t C) {
    return C >= u'0' && C <= u'9';
}

// Compares the digit runs starting at A[I] and B[J] by value and moves both indexes past them.
int32_t CompareNumbers(const String& A, size_t& I, const String& B, size_t& J) {
    while (I < A.size() && A[I] == u'0')
        ++I;
    while (J < B.size() && B[J] == u'0')
        ++J;
    const size_t startA = I, startB = J;
    while (I < A.size() && IsDigit(A[I]))
        ++I;
    while (J < B.size() && IsDigit(B[J]))
        ++J;
    const size_t lengthA = I - startA, lengthB = J - startB;
    if (lengthA != lengthB) return lengthA < lengthB ? -1 : 1;
    const int c = A.compare(startA, lengthA, B, startB, lengthB);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

} // namespace

int32_t StrCmpLogicalW(const String& A, const String& B) {
    const String a = LowerCase(A), b = LowerCase(B);
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            if (const int32_t c = CompareNumbers(a, i, b, j)) return c;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j] ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}
