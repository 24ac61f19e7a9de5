// Writing and bounds-checked reading of file-list blocks.
#include "platform/shell/DropFiles.h"

#include <cstring>

HGLOBAL MakeDropFilesBlock(const std::vector<String>& Names) {
    size_t size = sizeof(DROPFILES) + 2;
    for (const String& name : Names) size += 2 * (name.size() + 1);
    HGLOBAL block = GlobalAlloc(GHND, size);
    auto* bytes = static_cast<uint8_t*>(GlobalLock(block));
    if (bytes == nullptr) {
        GlobalFree(block);
        return nullptr;
    }
    DROPFILES header;
    header.pFiles = sizeof(DROPFILES);
    header.fWide = 1;
    std::memcpy(bytes, &header, sizeof header);
    size_t at = sizeof(DROPFILES);
    for (const String& name : Names) {
        std::memcpy(bytes + at, name.data(), 2 * name.size());
        at += 2 * (name.size() + 1); // the zero unit is already there
    }
    GlobalUnlock(block);
    return block;
}

std::vector<String> ReadNameSequence(const uint8_t* Bytes, size_t Size, bool Wide) {
    std::vector<String> names;
    const size_t unit = Wide ? 2 : 1;
    String name;
    for (size_t at = 0; at + unit <= Size; at += unit) {
        char16_t c;
        if (Wide) {
            std::memcpy(&c, Bytes + at, 2); // names may start at an odd offset
        } else {
            c = Bytes[at];
        }
        if (c != 0) {
            name.push_back(c);
            continue;
        }
        if (name.empty()) break;
        names.push_back(std::move(name));
        name.clear();
    }
    return names;
}

std::vector<String> ReadDropFiles(const void* Block, size_t Size) {
    if (Block == nullptr || Size < sizeof(DROPFILES)) return {};
    DROPFILES header;
    std::memcpy(&header, Block, sizeof header);
    if (header.pFiles < sizeof(DROPFILES) || header.pFiles >= Size) return {};
    return ReadNameSequence(static_cast<const uint8_t*>(Block) + header.pFiles,
                            Size - header.pFiles, header.fWide == 1);
}

std::vector<String> ReadDropFilesHandle(HGLOBAL Block) {
    const void* bytes = GlobalLock(Block);
    if (bytes == nullptr) return {};
    std::vector<String> names = ReadDropFiles(bytes, GlobalSize(Block));
    GlobalUnlock(Block);
    return names;
}
