// Writes the seeds of the formats only this library writes (layers streams, raw dumps,
// annotation blocks) and of the metadata blocks its writers make, with the option bytes their
// fuzz targets expect. Usage: fuzz_seed_writer OUTDIR (the target folders must exist).
#include "fuzz/FuzzTargets.h"

#include "imaging/core/VLImagingAnnot.h"
#include "imaging/core/VLMarkerList.h"
#include "imaging/formats/VLPsdWriter.h"
#include "imaging/io/VLExif.h"
#include "imaging/io/VLFileFormats.h"
#include "imaging/view/VistrelView.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using enum TVLPixelFormat;

std::string OutDir;

void WriteSeed(const std::string& Target, const std::string& Name,
               const std::vector<uint8_t>& Bytes, const std::vector<uint8_t>& Prefix = {}) {
    std::ofstream out(OutDir + "/" + Target + "/" + Name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(Prefix.data()),
              static_cast<std::streamsize>(Prefix.size()));
    out.write(reinterpret_cast<const char*>(Bytes.data()),
              static_cast<std::streamsize>(Bytes.size()));
}

std::vector<uint8_t> Bytes(TMemoryStream& Stream) {
    const auto* data = static_cast<const uint8_t*>(Stream.Memory());
    return {data, data + Stream.GetSize()};
}

// Gradients in any format; a palette for the indexed ones.
void Fill(TVLBitmap& Bitmap, int32_t W, int32_t H, TVLPixelFormat Format, bool Alpha) {
    Bitmap.Allocate(W, H, Format);
    for (int32_t y = 0; y < H; ++y) {
        uint8_t* row = Bitmap.GetScanline(y);
        for (int32_t i = 0; i < Bitmap.GetRowLen(); ++i)
            row[i] = static_cast<uint8_t>(i * 7 + y * 13);
    }
    if (Format == vl8p)
        for (int32_t i = 0; i < 256; ++i)
            Bitmap.SetPaletteColor(i, TVLRGB{uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)});
    if (Alpha) {
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x)
                Bitmap.GetAlphaChannel()->GetScanline(y)[x] = static_cast<uint8_t>(x * 9 + y);
        Bitmap.GetAlphaChannel()->Full = false;
    }
}

void LayersSeeds() {
    TVistrelView view(nullptr);
    view.GetIO();
    Fill(*view.GetVLBitmap(), 13, 9, vl24RGB, false);
    view.AddLayer();
    Fill(*view.GetVLBitmap(), 7, 5, vl24RGB, true);
    view.GetLayer(1)->PosX = -3;
    view.GetLayer(1)->Name = "layer";
    view.GetLayer(1)->SetUserData("\x01\x02", 2);
    view.AddLayer();
    Fill(*view.GetVLBitmap(), 6, 4, vl8g, false);
    view.GetLayer(2)->IsMask = true;
    view.SetCurrentLayer(0);
    const std::pair<const char*, int32_t> formats[] = {
        {"raw", -1}, {"png", ffPNG}, {"bmp", ffBMP}, {"tiff", ffTIFF}, {"jpeg", ffJPEG}};
    for (const auto& [name, format] : formats) {
        TMemoryStream stream;
        view.SaveLayersToStream(stream, format);
        WriteSeed("layers", std::string(name) + ".lyr", Bytes(stream));
        WriteSeed("detect", std::string(name) + ".lyr", Bytes(stream));
    }
}

// Even lengths are read from a buffer, odd ones from a stream: every dump goes both ways.
void RawDumpSeeds() {
    const std::pair<const char*, TVLPixelFormat> formats[] = {
        {"1g", vl1g},       {"8p", vl8p},       {"8g", vl8g},       {"16g", vl16g},
        {"24rgb", vl24RGB}, {"32rgb", vl32RGB}, {"48rgb", vlRGB48}, {"cmyk", vlCMYK}};
    for (const auto& [name, format] : formats)
        for (const bool alpha : {false, true}) {
            TVLBitmap bitmap;
            Fill(bitmap, 5, 3, format, alpha);
            std::vector<uint8_t> dump(static_cast<size_t>(bitmap.GetRawSize()));
            bitmap.SaveRaw(dump.data(), nullptr);
            const std::string base = std::string(name) + (alpha ? "-alpha" : "");
            if (dump.size() % 2 == 1) dump.push_back(0);
            WriteSeed("rawdump", base + ".buffer", dump);
            dump.push_back(0);
            WriteSeed("rawdump", base + ".stream", dump);
        }
}

void AnnotationSeeds() {
    TVLImagingAnnot annot;
    for (const uint32_t type : {1u, 3u, 4u, 7u, 8u, 9u, 10u, 5u}) {
        auto mark = std::make_unique<TVLImagingObject>();
        mark->Attributes.MarkType = type;
        mark->Attributes.Right = 40;
        mark->Attributes.Bottom = 30;
        mark->Points = {{1, 2}, {30, 4}, {12, 25}};
        mark->Text = "note";
        if (type == 1) {
            mark->Image = std::make_unique<TVLBitmap>();
            Fill(*mark->Image, 4, 3, vl24RGB, false);
        }
        annot.Objects.push_back(std::move(mark));
    }
    WriteSeed("annotations", "marks.ann", annot.SaveToBuffer());
}

void IPTCSeeds() {
    TVLIPTCInfoList list;
    list.AddItem(2, 5, 5, "title");
    list.AddItem(2, 25, 7, "keyword");
    list.AddItem(2, 120, 12, "caption text");
    list.AddItem(1, 90, 3, "\x1b%G");
    WriteSeed("iptc", "photoshop.iptc", list.SaveToBuffer(true));
    WriteSeed("iptc", "bare.iptc", list.SaveToBuffer(false));
}

void ExifAndXMPSeeds() {
    TIOParamsVals params;
    params.HasExif = true;
    params.ExifMake = "Maker";
    params.ExifModel = "Model";
    params.ExifOrientation = 6;
    params.ExifXResolution = 72;
    params.ExifYResolution = 72;
    params.ExifResolutionUnit = 2;
    params.ExifDateTime = "2020:01:02 03:04:05";
    params.ExifGPSVersionID = "2.2.0.0";
    params.ExifGPSLatitudeRef = "N";
    params.ExifGPSLatitude = {48, 51, 30};
    params.ExifThumbnail = std::make_unique<TVLBitmap>();
    Fill(*params.ExifThumbnail, 16, 12, vl24RGB, false);
    const std::vector<uint8_t> exif = WriteExifBlock(params);
    WriteSeed("exif", "written.exif", exif, {1});
    params.XmpInfo = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf="
                     "'http://www.w3.org/1999/02/22-rdf-syntax-ns#'/></x:xmpmeta>";
    const std::vector<uint8_t> xmp = BuildXMPAPP1(params);
    WriteSeed("xmp", "written.xmp", xmp);
    // The markers target's records: code, 16-bit length, payload.
    std::vector<uint8_t> markers;
    auto add = [&markers](uint8_t Code, const std::vector<uint8_t>& Payload) {
        markers.push_back(Code);
        markers.push_back(static_cast<uint8_t>(Payload.size()));
        markers.push_back(static_cast<uint8_t>(Payload.size() >> 8));
        markers.insert(markers.end(), Payload.begin(), Payload.end());
    };
    add(1, exif);
    add(1, xmp);
    TVLIPTCInfoList list;
    list.AddItem(2, 5, 5, "title");
    add(13, list.SaveToBuffer(true));
    add(0xFE, {'c', 'o', 'm', 'm', 'e', 'n', 't'});
    WriteSeed("markers", "written.markers", markers);
}

// Layered documents with a user mask in every colour mode the writer knows.
void PsdSeeds() {
    const std::pair<const char*, TVLPixelFormat> formats[] = {
        {"rgb", vl24RGB}, {"grey", vl8g}, {"grey16", vl16g}, {"rgb48", vlRGB48},
        {"cmyk", vlCMYK}, {"lab", vlCIELab}, {"indexed", vl8p}, {"bits", vl1g}};
    for (const auto& [name, format] : formats) {
        TVLBitmap merged;
        Fill(merged, 11, 7, format, false);
        std::vector<std::unique_ptr<TVLLayer>> layers;
        const int32_t sizes[3][2] = {{11, 7}, {5, 4}, {4, 3}};
        for (int32_t i = 0; i < 3; ++i) {
            auto bitmap = std::make_unique<TVLBitmap>();
            // Bitmap-mode layers carry no transparency; the third layer is the second's mask.
            Fill(*bitmap, sizes[i][0], sizes[i][1], i == 2 ? vl8g : format,
                 i == 1 && format != vl1g);
            layers.push_back(std::make_unique<TVLLayer>(nullptr, std::move(bitmap)));
        }
        layers[1]->PosX = 3;
        layers[1]->Name = "layer";
        layers[2]->IsMask = true;
        TIOParamsVals params;
        params.SetDpiX(72);
        params.SetDpiY(72);
        bool aborting = false;
        TVLProgressRecord progress;
        progress.AbortFlag = &aborting;
        TMemoryStream stream;
        WritePSDStream(stream, params, progress, merged,
                       {layers[0].get(), layers[1].get(), layers[2].get()});
        for (const uint8_t options : {0, 1, 2, 5})
            WriteSeed("psd", std::string(name) + "-" + std::to_string(options) + ".psd",
                      Bytes(stream), {options});
        WriteSeed("detect", std::string(name) + ".psd", Bytes(stream));
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seed_writer OUTDIR\n");
        return 2;
    }
    OutDir = argv[1];
    StartFuzzLibrary();
    LayersSeeds();
    RawDumpSeeds();
    AnnotationSeeds();
    IPTCSeeds();
    ExifAndXMPSeeds();
    PsdSeeds();
    return 0;
}
