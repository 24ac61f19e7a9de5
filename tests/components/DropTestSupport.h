// Helpers shared by the drag-and-drop tests: format requests, block bytes, a data object
// serving hand-made blocks, and temporary folders.
#pragma once

#include "components/SVDropSource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

inline FORMATETC Request(CLIPFORMAT Format, DWORD Aspect = DVASPECT_CONTENT,
                         DWORD Tymed = TYMED_HGLOBAL) {
    return FORMATETC{Format, nullptr, Aspect, -1, Tymed};
}

inline std::string BytesOf(HGLOBAL Block) {
    const void* bytes = GlobalLock(Block);
    std::string copy(static_cast<const char*>(bytes), GlobalSize(Block));
    GlobalUnlock(Block);
    return copy;
}

inline HGLOBAL BlockOf(const std::string& Bytes) {
    HGLOBAL block = GlobalAlloc(GHND, Bytes.size());
    std::memcpy(GlobalLock(block), Bytes.data(), Bytes.size());
    GlobalUnlock(block);
    return block;
}

// UTF-16 little-endian bytes of an ASCII text.
inline std::string Wide(const std::string& Ascii) {
    std::string out;
    for (char c : Ascii) out += std::string{c, '\0'};
    return out;
}

inline std::string Dword(uint32_t Value) {
    return std::string(reinterpret_cast<const char*>(&Value), 4);
}

// A data object that serves fixed blocks by format, as another program's would.
class TBlockDataObject final : public IDataObject {
public:
    std::map<CLIPFORMAT, std::string> Blocks;
    std::atomic<int32_t> RefCount{0};

    HRESULT QueryInterface(const IID&, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return static_cast<ULONG>(++RefCount); }
    ULONG Release() override { return static_cast<ULONG>(--RefCount); }
    HRESULT GetData(const FORMATETC* Format, STGMEDIUM* Medium) override {
        const auto found = Blocks.find(Format->cfFormat);
        if (found == Blocks.end()) return DV_E_FORMATETC;
        *Medium = STGMEDIUM{};
        Medium->tymed = TYMED_HGLOBAL;
        Medium->hGlobal = BlockOf(found->second);
        return S_OK;
    }
    HRESULT GetDataHere(const FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT QueryGetData(const FORMATETC* Format) override {
        return Blocks.contains(Format->cfFormat) ? S_OK : DV_E_FORMATETC;
    }
    HRESULT GetCanonicalFormatEtc(const FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    HRESULT SetData(const FORMATETC*, STGMEDIUM*, bool) override { return E_NOTIMPL; }
    HRESULT EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT DAdvise(const FORMATETC*, DWORD, IUnknown*, DWORD*) override { return E_NOTIMPL; }
    HRESULT DUnadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT EnumDAdvise(IUnknown**) override { return E_NOTIMPL; }
};

// A folder of its own under the temporary folder, removed with the object.
class TTempFolder {
public:
    TTempFolder()
        : FPath(std::filesystem::temp_directory_path() /
                ("sv-dnd-" + std::to_string(std::random_device{}()))) {
        std::filesystem::create_directories(FPath);
    }
    ~TTempFolder() { std::filesystem::remove_all(FPath); }
    // Creates an empty file (and its folders) below the folder; returns its full path.
    String File(const std::string& Relative) const {
        const auto path = FPath / Relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path).put('x');
        return StrFromUtf8(path.string());
    }
    String Path() const { return StrFromUtf8(FPath.string()); }

private:
    std::filesystem::path FPath;
};
