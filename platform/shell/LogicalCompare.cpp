// Natural ordering of names.
#include "platform/shell/LogicalCompare.h"

#include <QString>

namespace {

bool IsDigit(char16_t C) {
    return C >= u'0' && C <= u'9';
}

bool IsAscii(const String& S) {
    for (const char16_t c : S)
        if (c >= 0x80) return false;
    return true;
}

// The name case-folded (Ä and ä alike).
String Folded(const String& S) {
    if (IsAscii(S)) {
        String out = S;
        for (char16_t& c : out)
            if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
        return out;
    }
    return QString::fromStdU16String(S).toCaseFolded().toStdU16String();
}

// The name case-folded with its accents and other marks dropped, so that Ä sorts with A.
String BaseLetters(const String& S) {
    if (IsAscii(S)) return Folded(S);
    const QString decomposed =
        QString::fromStdU16String(S).normalized(QString::NormalizationForm_D);
    QString letters;
    letters.reserve(decomposed.size());
    for (const QChar c : decomposed)
        if (!c.isMark()) letters.append(c);
    return letters.toCaseFolded().toStdU16String();
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

// Character by character, digit runs by value.
int32_t CompareNatural(const String& A, const String& B) {
    size_t i = 0, j = 0;
    while (i < A.size() && j < B.size()) {
        if (IsDigit(A[i]) && IsDigit(B[j])) {
            if (const int32_t c = CompareNumbers(A, i, B, j)) return c;
            continue;
        }
        if (A[i] != B[j]) return A[i] < B[j] ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < A.size()) return 1;
    if (j < B.size()) return -1;
    return 0;
}

} // namespace

int32_t StrCmpLogicalW(const String& A, const String& B) {
    if (IsAscii(A) && IsAscii(B)) return CompareNatural(Folded(A), Folded(B));
    if (const int32_t c = CompareNatural(BaseLetters(A), BaseLetters(B))) return c;
    return CompareNatural(Folded(A), Folded(B));
}
