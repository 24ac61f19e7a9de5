// Times the thumbnail strip filling itself for a folder: from the refill to the decoder's
// finish, every thumbnail handed to the strip window through the message loop (which also
// repaints it), as the viewer does after opening a folder. The peer is Pillow's thumbnail()
// (bench/pil_thumbs.py) over the same files.
//
// Usage: sv_bench_thumbs FOLDER
// Prints "strip <count> <made> <ms>": the pictures listed, the thumbnails made, the time in ms.
#include "app/formThumbs.h"
#include "imaging/core/VLDefs.h"
#include "imaging/io/VistrelIOUnit.h"
#include "imaging/proc/VistrelProcUnit.h"
#include "imaging/view/VistrelView.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: sv_bench_thumbs FOLDER\n");
        return 2;
    }
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1]))
        if (entry.path().extension() == ".jpg") names.push_back(entry.path().string());
    std::sort(names.begin(), names.end());
    RegisterVistrelViewUnit();
    RegisterVistrelIOUnit();
    RegisterVistrelProcUnit();
    InitializeLibrary();
    int32_t made = 0;
    double ms = 0;
    {
        TStringList paths;
        for (const std::string& name : names)
            paths.Add(StrFromUtf8(name));
        TForm receiver(nullptr);
        TfThumbnails strip(nullptr);
        strip.Show();
        Application->ProcessMessages();
        const auto start = std::chrono::steady_clock::now();
        strip.FillThumbnails(receiver.Handle(), paths);
        while (strip.Thumbs.Decoding())
            Application->HandleMessage();
        ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                 .count();
        for (int32_t i = 0; i < strip.Thumbs.Count(); ++i)
            if (strip.Thumbs.Item(i).Bitmap) ++made;
    }
    FinalizeLibrary();
    std::printf("strip %zu %d %.1f\n", names.size(), made, ms);
    return made == static_cast<int32_t>(names.size()) ? 0 : 1;
}
