// Reference counts, the task allocator, media release and the clipboard format names.
#include "platform/ui/Ole.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr TGUID OleGuid(uint32_t D1) {
    return TGUID{D1, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
}

std::atomic<int32_t> OleUsers{0};

// Registered format names; the id of entry i is FirstRegisteredFormat + i.
constexpr uint32_t FirstRegisteredFormat = 0xC000;
constexpr size_t RegisteredFormatLimit = 0x4000;
std::mutex FormatLock;

std::vector<String>& FormatNames() {
    static auto* names = new std::vector<String>;
    return *names;
}

bool SameNameIgnoringCase(const String& A, const String& B) {
    if (A.size() != B.size()) return false;
    for (size_t i = 0; i < A.size(); ++i) {
        auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c; };
        if (fold(A[i]) != fold(B[i])) return false;
    }
    return true;
}

} // namespace

const IID IID_IUnknown = OleGuid(0x00000000);
const IID IID_IEnumFORMATETC = OleGuid(0x00000103);
const IID IID_IDataObject = OleGuid(0x0000010E);
const IID IID_IDropSource = OleGuid(0x00000121);
const IID IID_IDropTarget = OleGuid(0x00000122);

bool IsEqualGUID(const TGUID& A, const TGUID& B) {
    return std::memcmp(&A, &B, sizeof(TGUID)) == 0;
}

HRESULT OleInitialize(void*) {
    return OleUsers.fetch_add(1) == 0 ? S_OK : S_FALSE;
}

void OleUninitialize() {
    OleUsers.fetch_sub(1);
}

void* CoTaskMemAlloc(size_t Bytes) {
    return std::malloc(Bytes == 0 ? 1 : Bytes);
}

void* CoTaskMemRealloc(void* Block, size_t Bytes) {
    return std::realloc(Block, Bytes == 0 ? 1 : Bytes);
}

void CoTaskMemFree(void* Block) {
    std::free(Block);
}

void ReleaseStgMedium(STGMEDIUM* pmedium) {
    if (pmedium == nullptr) return;
    const bool shared = pmedium->pUnkForRelease != nullptr;
    if ((pmedium->tymed == TYMED_ISTREAM || pmedium->tymed == TYMED_ISTORAGE) &&
        pmedium->pstm != nullptr)
        pmedium->pstm->Release();
    else if (pmedium->tymed == TYMED_HGLOBAL && !shared)
        GlobalFree(pmedium->hGlobal);
    if (shared) pmedium->pUnkForRelease->Release();
    *pmedium = STGMEDIUM{};
}

uint32_t RegisterClipboardFormatW(const String& Name) {
    if (Name.empty()) return 0;
    const std::lock_guard guard(FormatLock);
    std::vector<String>& names = FormatNames();
    for (size_t i = 0; i < names.size(); ++i)
        if (SameNameIgnoringCase(names[i], Name))
            return FirstRegisteredFormat + static_cast<uint32_t>(i);
    if (names.size() == RegisteredFormatLimit) return 0;
    names.push_back(Name);
    return FirstRegisteredFormat + static_cast<uint32_t>(names.size() - 1);
}

String GetClipboardFormatNameW(uint32_t Format) {
    const std::lock_guard guard(FormatLock);
    const std::vector<String>& names = FormatNames();
    if (Format < FirstRegisteredFormat || Format - FirstRegisteredFormat >= names.size())
        return {};
    return names[Format - FirstRegisteredFormat];
}
