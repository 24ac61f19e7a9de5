// Colour-space row conversion and the CMYK transforms.
#include "imaging/core/VLColorSpace.h"

#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLICC.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>

TVLColorConversionHook ColorConversionHook = ConvertColorSpaceRow;
bool UseICCProfiles = false;
bool CMYKColorManagement = true;
std::vector<String> CMYKProfileFolders = {u"/usr/share/color/icc", u"/usr/share/ghostscript"};

namespace {

// The press profile and the sRGB profile paired with it; each keeps its own transform (CMYK to
// RGB in the press profile, RGB to CMYK in the sRGB one). The window and the thumbnail thread
// may both convert their first CMYK picture at once: the search runs once under the lock, and
// the state says Ready or Failed only after it has ended, so no thread takes the formulas while
// another is still making the transforms.
enum class TCMYKState : uint8_t { Untried, Ready, Failed };
std::atomic<TCMYKState> CMYKState{TCMYKState::Untried};
std::mutex CMYKLock;
std::unique_ptr<TVLICC> CMYKProfile;
std::unique_ptr<TVLICC> CMYKTargetSRGB;

constexpr const char* CMYKProfileName = "default_cmyk.icc";
// An ICC profile starts with a 128-byte header; press profiles are well below this size.
constexpr std::uintmax_t MinProfileSize = 128;
constexpr std::uintmax_t MaxProfileSize = 16 << 20;

// Every file named CMYKProfileName under the folders, folder by folder, in path order.
std::vector<std::filesystem::path> FindCMYKProfiles() {
    namespace fs = std::filesystem;
    std::vector<fs::path> found;
    for (const String& folder : CMYKProfileFolders) {
        std::vector<fs::path> here;
        std::error_code error;
        fs::recursive_directory_iterator it(fs::path(Utf8FromStr(folder)),
                                            fs::directory_options::skip_permission_denied, error);
        for (; !error && it != fs::recursive_directory_iterator(); it.increment(error))
            if (it->path().filename() == CMYKProfileName && it->is_regular_file(error))
                here.push_back(it->path());
        std::sort(here.begin(), here.end());
        found.insert(found.end(), here.begin(), here.end());
    }
    return found;
}

// The bytes of a file that looks like a CMYK profile (size in range, colour space "CMYK" in the
// header); empty otherwise.
std::vector<uint8_t> ReadCMYKProfile(const std::filesystem::path& File) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(File, error);
    if (error || size < MinProfileSize || size > MaxProfileSize) return {};
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    std::ifstream in(File, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
        return {};
    if (std::memcmp(bytes.data() + 16, "CMYK", 4) != 0) return {};
    return bytes;
}

// Loads the profile and makes both transforms with one black pixel each.
bool MakeCMYKTransforms(const std::vector<uint8_t>& Bytes) {
    auto press = std::make_unique<TVLICC>();
    press->LoadFromBuffer(Bytes.data(), static_cast<int32_t>(Bytes.size()));
    auto srgb = std::make_unique<TVLICC>();
    srgb->LoadSystemSRGB();
    if (!press->IsValid() || !srgb->IsValid()) return false;
    const uint8_t fullInk[4] = {0, 0, 0, 0};
    const TVLRGB black{};
    TVLRGB rgb;
    uint8_t cmyk[4];
    if (!press->TransformPixels(srgb.get(), ICCFormatCMYKInverted, 1, &rgb, fullInk, 0, 0,
                                ICCFormatBGR) ||
        !srgb->TransformPixels(press.get(), ICCFormatBGR, 1, cmyk, &black, 0, 0,
                               ICCFormatCMYKInverted))
        return false;
    CMYKProfile = std::move(press);
    CMYKTargetSRGB = std::move(srgb);
    return true;
}

bool ColorManaged() {
    return CMYKColorManagement && InitCMYKTransforms();
}

void FormulaCMYKToRGB(const uint8_t* CMYK, TVLRGB& RGB) {
    const int32_t k = CMYK[3];
    RGB.r = static_cast<uint8_t>(CMYK[0] * k / 255);
    RGB.g = static_cast<uint8_t>(CMYK[1] * k / 255);
    RGB.b = static_cast<uint8_t>(CMYK[2] * k / 255);
}

void FormulaRGBToCMYK(const TVLRGB& RGB, uint8_t* CMYK) {
    const int32_t k = std::max<int32_t>({RGB.r, RGB.g, RGB.b, 1});
    CMYK[0] = static_cast<uint8_t>(RGB.r * 255 / k);
    CMYK[1] = static_cast<uint8_t>(RGB.g * 255 / k);
    CMYK[2] = static_cast<uint8_t>(RGB.b * 255 / k);
    CMYK[3] = static_cast<uint8_t>(k);
}

// Row kernels: Count pixels from Source to Target, chosen once per row.
using TRowKernel = void (*)(uint8_t* Source, uint8_t* Target, int32_t Count);

void RGBRowToBGR(uint8_t* Source, uint8_t* Target, int32_t Count) {
    CopyAndSwapRedBlue(Target, Source, Count);
}

void BGRRowToBGR(uint8_t* Source, uint8_t* Target, int32_t Count) {
    std::memmove(Target, Source, static_cast<size_t>(Count) * 3);
}

void BGRRowToCMYK(uint8_t* Source, uint8_t* Target, int32_t Count) {
    ConvertRGBRowToCMYK(reinterpret_cast<const TVLRGB*>(Source), Target, Count);
}

void BGRRowToCIELab(uint8_t* Source, uint8_t* Target, int32_t Count) {
    for (int32_t i = 0; i < Count; ++i, Source += 3, Target += 3)
        RGBToCIELab(Target, Source[0] | Source[1] << 8 | Source[2] << 16);
}

void BGRRowToGray(uint8_t* Source, uint8_t* Target, int32_t Count) {
    const int32_t wr = GrayWeightRed, wg = GrayWeightGreen, wb = GrayWeightBlue;
    for (int32_t i = 0; i < Count; ++i, Source += 3)
        Target[i] = static_cast<uint8_t>((Source[2] * wr + Source[1] * wg + Source[0] * wb) / 100);
}

void CMYKRowToBGR(uint8_t* Source, uint8_t* Target, int32_t Count) {
    ConvertCMYKRowToRGB(Source, reinterpret_cast<TVLRGB*>(Target), Count);
}

// The inks become the stored form in the caller's buffer, as the codecs expect, and are then
// gathered into one CMYK row.
void InkCMYKRowToBGR(uint8_t* Source, uint8_t* Target, int32_t Count) {
    std::vector<uint8_t> cmyk(static_cast<size_t>(Count) * 4);
    for (int32_t i = 0; i < Count; ++i) {
        uint8_t* pixel = Source + static_cast<size_t>(i) * 6;
        for (int c = 0; c < 4; ++c) {
            pixel[c] = static_cast<uint8_t>(255 - pixel[c]);
            cmyk[static_cast<size_t>(i) * 4 + c] = pixel[c];
        }
    }
    ConvertCMYKRowToRGB(cmyk.data(), reinterpret_cast<TVLRGB*>(Target), Count);
}

void CIELabRowToBGR(uint8_t* Source, uint8_t* Target, int32_t Count) {
    auto* rgb = reinterpret_cast<TVLRGB*>(Target);
    for (int32_t i = 0; i < Count; ++i, Source += 3)
        CIELabToRGB(rgb[i], Source[0] | Source[1] << 8 | Source[2] << 16);
}

// Words red, green, blue; Hi is the offset of a word's high byte.
template <int Hi> void RGB48RowToBGR(uint8_t* Source, uint8_t* Target, int32_t Count) {
    for (int32_t i = 0; i < Count; ++i, Source += 6, Target += 3) {
        Target[0] = Source[4 + Hi];
        Target[1] = Source[2 + Hi];
        Target[2] = Source[Hi];
    }
}

void YCbCrRowToBGR(uint8_t* Source, uint8_t* Target, int32_t Count) {
    auto* rgb = reinterpret_cast<TVLRGB*>(Target);
    for (int32_t i = 0; i < Count; ++i, Source += 3)
        YCbCrToRGB(rgb[i], Source[0], Source[1], Source[2]);
}

TRowKernel KernelFor(uint8_t SourceLayout, uint8_t TargetKind) {
    if (TargetKind == ColorTargetBGR) {
        switch (SourceLayout) {
        case ColorLayoutRGB:
            return RGBRowToBGR;
        case ColorLayoutBGR:
            return BGRRowToBGR;
        case ColorLayoutCMYK:
            return CMYKRowToBGR;
        case ColorLayoutInkCMYK:
            return InkCMYKRowToBGR;
        case ColorLayoutCIELab:
            return CIELabRowToBGR;
        case ColorLayoutRGB48LE:
            return RGB48RowToBGR<1>;
        case ColorLayoutRGB48BE:
            return RGB48RowToBGR<0>;
        case ColorLayoutYCbCr:
            return YCbCrRowToBGR;
        default:
            return nullptr;
        }
    }
    if (SourceLayout != ColorLayoutBGR) return nullptr;
    switch (TargetKind) {
    case ColorTargetCMYK:
        return BGRRowToCMYK;
    case ColorTargetCIELab:
        return BGRRowToCIELab;
    case ColorTargetGray:
        return BGRRowToGray;
    default:
        return nullptr;
    }
}

} // namespace

void ConvertColorSpaceRow(void* Source, uint8_t SourceLayout, void* Target, TIOParamsVals*,
                          int32_t Count, uint8_t TargetKind) {
    const TRowKernel kernel = KernelFor(SourceLayout, TargetKind);
    if (kernel == nullptr || Source == nullptr || Target == nullptr || Count <= 0) return;
    kernel(static_cast<uint8_t*>(Source), static_cast<uint8_t*>(Target), Count);
}

void ConvertCMYKRowToRGB(const uint8_t* CMYK, TVLRGB* RGB, int32_t Count) {
    if (Count <= 0) return;
    if (ColorManaged() && CMYKProfile->TransformPixels(CMYKTargetSRGB.get(), ICCFormatCMYKInverted,
                                                       Count, RGB, CMYK, 0, 0, ICCFormatBGR))
        return;
    for (int32_t i = 0; i < Count; ++i)
        FormulaCMYKToRGB(CMYK + static_cast<size_t>(i) * 4, RGB[i]);
}

void ConvertRGBRowToCMYK(const TVLRGB* RGB, uint8_t* CMYK, int32_t Count) {
    if (Count <= 0) return;
    if (ColorManaged() && CMYKTargetSRGB->TransformPixels(CMYKProfile.get(), ICCFormatBGR, Count,
                                                          CMYK, RGB, 0, 0, ICCFormatCMYKInverted))
        return;
    for (int32_t i = 0; i < Count; ++i)
        FormulaRGBToCMYK(RGB[i], CMYK + static_cast<size_t>(i) * 4);
}

void ConvertCMYKToRGB(uint32_t CMYK, TVLRGB& RGB) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(CMYK), static_cast<uint8_t>(CMYK >> 8),
                              static_cast<uint8_t>(CMYK >> 16), static_cast<uint8_t>(CMYK >> 24)};
    ConvertCMYKRowToRGB(bytes, &RGB, 1);
}

uint32_t ConvertRGBToCMYK(uint32_t RGB) {
    const TVLRGB pixel{static_cast<uint8_t>(RGB), static_cast<uint8_t>(RGB >> 8),
                       static_cast<uint8_t>(RGB >> 16)};
    uint8_t bytes[4];
    ConvertRGBRowToCMYK(&pixel, bytes, 1);
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

bool InitCMYKTransforms() {
    const TCMYKState known = CMYKState.load(std::memory_order_acquire);
    if (known != TCMYKState::Untried) return known == TCMYKState::Ready;
    const std::lock_guard<std::mutex> lock(CMYKLock);
    if (CMYKState.load(std::memory_order_relaxed) == TCMYKState::Untried) {
        TCMYKState found = TCMYKState::Failed;
        for (const std::filesystem::path& file : FindCMYKProfiles()) {
            const std::vector<uint8_t> bytes = ReadCMYKProfile(file);
            if (!bytes.empty() && MakeCMYKTransforms(bytes)) {
                found = TCMYKState::Ready;
                break;
            }
        }
        CMYKState.store(found, std::memory_order_release);
    }
    return CMYKState.load(std::memory_order_relaxed) == TCMYKState::Ready;
}

void FreeCMYKTransforms() {
    const std::lock_guard<std::mutex> lock(CMYKLock);
    CMYKProfile.reset();
    CMYKTargetSRGB.reset();
    CMYKState.store(TCMYKState::Untried, std::memory_order_release);
}
