// ICC profiles: texts, cached transforms, pixel layouts and bitmap conversion, checked against
// the Debian icc-profiles-free profiles with LittleCMS's transicc and exiftool.
#include "imaging/core/VLICC.h"

#include "FuzzBuffers.h"
#include "TempFolder.h"
#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <sstream>

namespace {

using enum TVLPixelFormat;

const std::string ProfileFolder = "/usr/share/color/icc/";

std::vector<uint8_t> ReadFileBytes(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool LoadProfile(TVLICC& Profile, const std::string& Name) {
    const auto bytes = ReadFileBytes(ProfileFolder + Name);
    Profile.LoadFromBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    return Profile.IsValid();
}

#define REQUIRE_PROFILES(...)                                                                      \
    for (const char* name : {__VA_ARGS__})                                                         \
        if (!std::filesystem::exists(ProfileFolder + name))                                        \
            SV_SKIP_WITHOUT_REFERENCE(ProfileFolder << name                                        \
                                                    << " missing (package icc-profiles-free)");

void PutBE32(std::vector<uint8_t>& Out, uint32_t V) {
    for (int s = 24; s >= 0; s -= 8)
        Out.push_back(static_cast<uint8_t>(V >> s));
}
void PutBE16(std::vector<uint8_t>& Out, uint32_t V) {
    Out.push_back(static_cast<uint8_t>(V >> 8));
    Out.push_back(static_cast<uint8_t>(V));
}
void PutText(std::vector<uint8_t>& Out, const std::string& Text) {
    Out.insert(Out.end(), Text.begin(), Text.end());
}

struct Tag {
    std::string signature;
    std::vector<uint8_t> data;
};

// A profile of the given version, class and colour spaces holding the tags.
std::vector<uint8_t> BuildProfile(uint32_t Version, const std::string& Class,
                                  const std::string& Space, const std::string& Pcs,
                                  const std::vector<Tag>& Tags) {
    std::vector<uint8_t> p(128, 0);
    auto put = [&](size_t At, uint32_t V) {
        for (int i = 0; i < 4; ++i)
            p[At + i] = static_cast<uint8_t>(V >> (24 - 8 * i));
    };
    auto putText = [&](size_t At, const std::string& T) { std::copy(T.begin(), T.end(), &p[At]); };
    put(8, Version);
    putText(12, Class);
    putText(16, Space);
    putText(20, Pcs);
    putText(36, "acsp");
    // D50 illuminant.
    put(68, 0x0000F6D6);
    put(72, 0x00010000);
    put(76, 0x0000D32D);
    PutBE32(p, static_cast<uint32_t>(Tags.size()));
    size_t offset = 132 + 12 * Tags.size();
    std::vector<uint8_t> data;
    for (const Tag& t : Tags) {
        PutText(p, t.signature);
        PutBE32(p, static_cast<uint32_t>(offset + data.size()));
        PutBE32(p, static_cast<uint32_t>(t.data.size()));
        data.insert(data.end(), t.data.begin(), t.data.end());
        data.resize((data.size() + 3) / 4 * 4, 0);
    }
    p.insert(p.end(), data.begin(), data.end());
    put(0, static_cast<uint32_t>(p.size()));
    return p;
}

std::vector<uint8_t> TextTag(const std::string& Text) {
    std::vector<uint8_t> t;
    PutText(t, "text");
    PutBE32(t, 0);
    PutText(t, Text);
    t.push_back(0);
    return t;
}

// A version 2 description: its ASCII text with its length and terminator.
std::vector<uint8_t> DescTag(const std::string& Text) {
    std::vector<uint8_t> t;
    PutText(t, "desc");
    PutBE32(t, 0);
    PutBE32(t, static_cast<uint32_t>(Text.size() + 1));
    PutText(t, Text);
    t.push_back(0);
    return t;
}

// A multi-localised tag of (language, country, UTF-16 text) records.
std::vector<uint8_t> MlucTag(const std::vector<std::pair<std::string, std::u16string>>& Records) {
    std::vector<uint8_t> t;
    PutText(t, "mluc");
    PutBE32(t, 0);
    PutBE32(t, static_cast<uint32_t>(Records.size()));
    PutBE32(t, 12);
    size_t offset = 16 + 12 * Records.size();
    for (const auto& [locale, text] : Records) {
        PutText(t, locale);
        PutBE32(t, static_cast<uint32_t>(text.size() * 2));
        PutBE32(t, static_cast<uint32_t>(offset));
        offset += text.size() * 2;
    }
    for (const auto& record : Records)
        for (char16_t c : record.second)
            PutBE16(t, c);
    return t;
}

// A 16-bit lookup table tag (lut16Type) with a grid of two points per input, identity matrix
// and linear input and output curves; Corner gives the output of each grid corner, the first
// input being the most significant bit of the corner index.
std::vector<uint8_t> Lut16(int In, int Out,
                           const std::function<std::vector<uint16_t>(int)>& Corner) {
    std::vector<uint8_t> t;
    PutText(t, "mft2");
    PutBE32(t, 0);
    t.insert(t.end(), {static_cast<uint8_t>(In), static_cast<uint8_t>(Out), 2, 0});
    for (int i = 0; i < 9; ++i)
        PutBE32(t, i % 4 == 0 ? 0x10000 : 0);
    PutBE16(t, 2);
    PutBE16(t, 2);
    for (int i = 0; i < In; ++i) {
        PutBE16(t, 0);
        PutBE16(t, 0xFFFF);
    }
    for (int corner = 0; corner < (1 << In); ++corner)
        for (uint16_t v : Corner(corner))
            PutBE16(t, v);
    for (int i = 0; i < Out; ++i) {
        PutBE16(t, 0);
        PutBE16(t, 0xFFFF);
    }
    return t;
}

// A small CMYK printer profile: only paper white maps to white, and the inks follow L, a and b
// in a simple fixed way.
std::vector<uint8_t> CmykProfile() {
    auto toLab = [](int corner) -> std::vector<uint16_t> {
        return {static_cast<uint16_t>(corner == 0 ? 0xFF00 : 0), 0x8000, 0x8000};
    };
    auto toCmyk = [](int corner) -> std::vector<uint16_t> {
        const bool l = (corner & 4) != 0, a = (corner & 2) != 0, b = (corner & 1) != 0;
        return {static_cast<uint16_t>(a ? 0 : 0x4000), static_cast<uint16_t>(a ? 0x4000 : 0),
                static_cast<uint16_t>(b ? 0x4000 : 0), static_cast<uint16_t>(l ? 0 : 0xFFFF)};
    };
    return BuildProfile(0x02100000, "prtr", "CMYK", "Lab ",
                        {{"cprt", TextTag("Test CMYK")},
                         {"A2B0", Lut16(4, 3, toLab)},
                         {"B2A0", Lut16(3, 4, toCmyk)}});
}

// A grey display profile of gamma 2.2.
std::vector<uint8_t> GrayProfile() {
    std::vector<uint8_t> white, curve;
    PutText(white, "XYZ ");
    PutBE32(white, 0);
    for (uint32_t v : {0x0000F6D6u, 0x00010000u, 0x0000D32Du})
        PutBE32(white, v);
    PutText(curve, "curv");
    PutBE32(curve, 0);
    PutBE32(curve, 1);
    PutBE16(curve, 0x0233);
    return BuildProfile(0x02100000, "mntr", "GRAY", "XYZ ",
                        {{"desc", DescTag("Gray 2.2")}, {"wtpt", white}, {"kTRC", curve}});
}

// Test colours in blue, green, red order.
std::vector<uint8_t> SampleBGR() {
    std::vector<uint8_t> pixels = {0,   0,   0,  255, 255, 255, 0,   0,   255, 0,  255,
                                   0,   255, 0,  0,   128, 128, 128, 30,  200, 10, 200,
                                   100, 50,  12, 34,  56,  250, 240, 230, 77,  5,  190};
    return pixels;
}

// transicc's numbers for Input (one colour per line), with the intent and precision the
// library uses.
std::vector<std::vector<double>> Transicc(const ScratchFolder& Scratch, const std::string& From,
                                          const std::string& To,
                                          const std::vector<std::vector<double>>& Input) {
    std::ostringstream text;
    for (const auto& colour : Input) {
        for (double v : colour)
            text << v << ' ';
        text << '\n';
    }
    const std::string in = text.str();
    Scratch.Write("transicc-in.txt", {in.begin(), in.end()});
    std::string output;
    EXPECT_TRUE(Scratch.Run("transicc -n -t0 -c2 -i '" + From + "' -o '" + To + "' < " +
                                Scratch.File("transicc-in.txt"),
                            output));
    std::vector<std::vector<double>> result;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream values(line);
        std::vector<double> colour;
        double v;
        while (values >> v)
            colour.push_back(v);
        if (!colour.empty()) result.push_back(colour);
    }
    return result;
}

std::vector<std::vector<double>> RGBColours(const std::vector<uint8_t>& BGR) {
    std::vector<std::vector<double>> colours;
    for (size_t i = 0; i + 2 < BGR.size(); i += 3)
        colours.push_back({double(BGR[i + 2]), double(BGR[i + 1]), double(BGR[i])});
    return colours;
}

#define REQUIRE_TRANSICC()                                                                         \
    if (!ToolExists("transicc")) SV_SKIP_WITHOUT_REFERENCE("transicc (liblcms2-utils) missing")

} // namespace

TEST(VLICCTexts, DebianProfilesReadAsExiftoolReadsThem) {
    REQUIRE_PROFILES("sRGB.icc", "Gray.icc", "LCMSLABI.ICM", "compatibleWithAdobeRGB1998.icc");
    if (!ToolExists("exiftool"))
        SV_SKIP_WITHOUT_REFERENCE("exiftool (libimage-exiftool-perl) missing");
    ScratchFolder scratch;
    for (const char* name :
         {"sRGB.icc", "Gray.icc", "LCMSLABI.ICM", "compatibleWithAdobeRGB1998.icc"}) {
        SCOPED_TRACE(name);
        TVLICC profile;
        EXPECT_TRUE(LoadProfile(profile, name));
        std::string desc, cprt;
        ASSERT_TRUE(scratch.Run("exiftool -b -ProfileDescription " + ProfileFolder + name, desc));
        ASSERT_TRUE(scratch.Run("exiftool -b -ProfileCopyright " + ProfileFolder + name, cprt));
        EXPECT_EQ(profile.GetDescText(), desc);
        EXPECT_EQ(profile.GetCprtText(), cprt);
        EXPECT_FALSE(profile.GetDescText().empty());
    }
}

TEST(VLICCTexts, VersionFourLocalisedTexts) {
    const auto bytes =
        BuildProfile(0x04300000, "mntr", "RGB ", "XYZ ",
                     {{"desc", MlucTag({{"frFR", u"Profil d\u00e9mo"}, {"enUS", u"Demo profile"}})},
                      {"cprt", MlucTag({{"deDE", u"\u00a9 K\u0151nig"}})}});
    TVLICC profile;
    profile.LoadFromBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    EXPECT_EQ(profile.GetDescText(), "Demo profile");
    EXPECT_EQ(profile.GetCprtText(), "\xA9 K?nig");
}

TEST(VLICCTexts, DamagedTagTablesStayInsideTheProfile) {
    const auto good = BuildProfile(0x02100000, "mntr", "RGB ", "XYZ ",
                                   {{"cprt", TextTag("Free")}, {"desc", DescTag("Name")}});
    struct Case {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> damage;
        const char* cprt;
        const char* desc;
    };
    auto setBE32 = [](std::vector<uint8_t>& p, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            p[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    };
    const std::vector<Case> cases = {
        {"intact", [](std::vector<uint8_t>&) {}, "Free", "Name"},
        {"second tag reaches past the end",
         [&](std::vector<uint8_t>& p) {
             setBE32(p, 132 + 12 + 8, static_cast<uint32_t>(p.size()));
         },
         "Free", ""},
        {"offset plus size wraps",
         [&](std::vector<uint8_t>& p) { setBE32(p, 132 + 12 + 8, 0xFFFFFFF0); }, "Free", ""},
        {"tag count beyond the table", [&](std::vector<uint8_t>& p) { setBE32(p, 128, 900); },
         "Free", "Name"},
        {"tag count above 1000", [&](std::vector<uint8_t>& p) { setBE32(p, 128, 1001); }, "", ""},
        {"only the header", [](std::vector<uint8_t>& p) { p.resize(128); }, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto bytes = good;
        c.damage(bytes);
        TVLICC profile;
        profile.LoadFromBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
        EXPECT_EQ(profile.GetCprtText(), c.cprt);
        EXPECT_EQ(profile.GetDescText(), c.desc);
    }
    // A description without its terminator at the very end of the profile.
    auto desc = DescTag("Name");
    desc.pop_back();
    const auto unterminated = BuildProfile(0x02100000, "mntr", "RGB ", "XYZ ", {{"desc", desc}});
    ASSERT_EQ(unterminated.size() % 4, 0u);
    TVLICC profile;
    profile.LoadFromBuffer(unterminated.data(), static_cast<int32_t>(unterminated.size()));
    EXPECT_EQ(profile.GetDescText(), "Name");
}

TEST(VLICCTransform, SRGBToSRGBIsTheIdentity) {
    std::vector<uint8_t> input(3 * 4096);
    std::mt19937 random(7);
    for (auto& b : input)
        b = static_cast<uint8_t>(random());
    const auto sample = SampleBGR();
    std::copy(sample.begin(), sample.end(), input.begin());
    const int32_t count = static_cast<int32_t>(input.size() / 3);
    std::vector<std::pair<std::string, std::string>> pairs = {{"", ""}};
    if (std::filesystem::exists(ProfileFolder + "sRGB.icc"))
        pairs.insert(pairs.end(), {{"sRGB.icc", ""}, {"", "sRGB.icc"}, {"sRGB.icc", "sRGB.icc"}});
    for (const auto& [from, to] : pairs) {
        SCOPED_TRACE(from + " -> " + to);
        TVLICC source, dest;
        if (from.empty())
            source.LoadSystemSRGB();
        else
            LoadProfile(source, from);
        if (to.empty())
            dest.LoadSystemSRGB();
        else
            LoadProfile(dest, to);
        ASSERT_TRUE(source.IsValid() && dest.IsValid());
        std::vector<uint8_t> output(input.size());
        const auto kept = input;
        ASSERT_TRUE(source.TransformPixels(&dest, ICCFormatBGR, count, output.data(), input.data(),
                                           0, 0, ICCFormatBGR));
        EXPECT_EQ(input, kept) << "the input was changed";
        int worst = 0;
        for (size_t i = 0; i < input.size(); ++i)
            worst = std::max(worst, std::abs(int(output[i]) - int(input[i])));
        EXPECT_LE(worst, 1);
    }
}

TEST(VLICCTransform, LayoutsOfTheSameColours) {
    TVLICC source, dest;
    source.LoadSystemSRGB();
    dest.LoadSystemSRGB();
    const auto bgr = SampleBGR();
    const int32_t n = static_cast<int32_t>(bgr.size() / 3);
    std::vector<uint8_t> rgb(bgr.size()), back(bgr.size());
    ASSERT_TRUE(
        source.TransformPixels(&dest, ICCFormatBGR, n, rgb.data(), bgr.data(), 0, 0, ICCFormatRGB));
    ASSERT_TRUE(source.TransformPixels(&dest, ICCFormatRGB, n, back.data(), rgb.data(), 0, 0,
                                       ICCFormatBGR));
    std::vector<uint16_t> le(bgr.size()), be(bgr.size());
    ASSERT_TRUE(source.TransformPixels(&dest, ICCFormatRGB, n, le.data(), rgb.data(), 0, 0,
                                       ICCFormatRGB16LE));
    ASSERT_TRUE(source.TransformPixels(&dest, ICCFormatRGB16LE, n, be.data(), le.data(), 0, 0,
                                       ICCFormatRGB16BE));
    std::vector<uint8_t> generic(bgr.size());
    ASSERT_TRUE(source.TransformPixels(&dest, ICCFormat3Channel, n, generic.data(), rgb.data(), 0,
                                       0, ICCFormat3Channel));
    for (int32_t i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        for (int c = 0; c < 3; ++c) {
            const int v = bgr[3 * i + 2 - c];
            EXPECT_NEAR(rgb[3 * i + c], v, 1);
            EXPECT_NEAR(back[3 * i + 2 - c], v, 1);
            EXPECT_NEAR(le[3 * i + c], v * 257, 257);
            EXPECT_EQ(be[3 * i + c],
                      static_cast<uint16_t>((le[3 * i + c] >> 8) | (le[3 * i + c] << 8)));
            EXPECT_NEAR(generic[3 * i + c], rgb[3 * i + c], 1);
        }
    }
}

TEST(VLICCTransform, TransformsAreKeptUntilTheirKeyChanges) {
    if (!std::filesystem::exists(ProfileFolder + "compatibleWithAdobeRGB1998.icc"))
        SV_SKIP_WITHOUT_REFERENCE("icc-profiles-free missing");
    TVLICC source, dest;
    source.LoadSystemSRGB();
    dest.LoadSystemSRGB();
    const uint8_t red[3] = {0, 0, 255};
    uint8_t out[3];
    ASSERT_TRUE(source.TransformPixels(&dest, ICCFormatBGR, 1, out, red, 0, 0, ICCFormatBGR));
    ASSERT_TRUE(source.TransformPixels(&dest, ICCFormatBGR, 1, out, red, 0, 0, ICCFormatBGR));
    EXPECT_FALSE(source.GetApplied()) << "the same key rebuilt the transform";
    ASSERT_TRUE(source.TransformPixels(&dest, ICCFormatBGR, 1, out, red, 0, 1, ICCFormatBGR));
    EXPECT_TRUE(source.GetApplied()) << "a new intent kept the old transform";
    EXPECT_NEAR(out[2], 255, 1);

    // The destination replaced by another profile: the old transform must not be reused.
    ASSERT_TRUE(LoadProfile(dest, "compatibleWithAdobeRGB1998.icc"));
    ASSERT_TRUE(source.TransformPixels(&dest, ICCFormatBGR, 1, out, red, 0, 1, ICCFormatBGR));
    EXPECT_LT(out[2], 240) << "sRGB red is not the most saturated red of the wider space";
    source.FreeTransform();
    EXPECT_FALSE(source.HasTransform());
    source.LoadSystemSRGB();
    EXPECT_FALSE(source.GetApplied());
}

TEST(VLICCTransform, NoTransformWithoutBothProfilesOrWithUnknownLayouts) {
    TVLICC valid, empty;
    valid.LoadSystemSRGB();
    uint8_t pixel[4] = {1, 2, 3, 4}, out[4];
    EXPECT_FALSE(valid.TransformPixels(&empty, ICCFormatBGR, 1, out, pixel, 0, 0, ICCFormatBGR));
    EXPECT_FALSE(empty.TransformPixels(&valid, ICCFormatBGR, 1, out, pixel, 0, 0, ICCFormatBGR));
    EXPECT_FALSE(valid.TransformPixels(nullptr, ICCFormatBGR, 1, out, pixel, 0, 0, ICCFormatBGR));
    EXPECT_FALSE(valid.TransformPixels(&valid, 9, 1, out, pixel, 0, 0, ICCFormatBGR));
    // RGB pixels through a CMYK layout do not match the profile's colour space.
    EXPECT_FALSE(valid.TransformPixels(&valid, ICCFormatCMYK, 1, out, pixel, 0, 0, ICCFormatBGR));
    EXPECT_FALSE(valid.HasTransform());
    const uint8_t garbage[200] = {1, 2, 3};
    empty.LoadFromBuffer(garbage, sizeof(garbage));
    EXPECT_FALSE(empty.IsValid());
    EXPECT_EQ(empty.GetRawLength(), 200);
}

TEST(VLICCTransform, GreyAndLabMatchTransicc) {
    REQUIRE_PROFILES("sRGB.icc", "Gray.icc", "LCMSLABI.ICM");
    REQUIRE_TRANSICC();
    ScratchFolder scratch;
    const auto bgr = SampleBGR();
    const int32_t n = static_cast<int32_t>(bgr.size() / 3);
    TVLICC srgb, gray, lab;
    ASSERT_TRUE(LoadProfile(srgb, "sRGB.icc"));
    ASSERT_TRUE(LoadProfile(gray, "Gray.icc"));
    ASSERT_TRUE(LoadProfile(lab, "LCMSLABI.ICM"));

    std::vector<uint8_t> grey(n);
    ASSERT_TRUE(
        srgb.TransformPixels(&gray, ICCFormatBGR, n, grey.data(), bgr.data(), 0, 0, ICCFormatGray));
    const auto expectedGrey =
        Transicc(scratch, ProfileFolder + "sRGB.icc", ProfileFolder + "Gray.icc", RGBColours(bgr));
    ASSERT_EQ(expectedGrey.size(), size_t(n));
    for (int32_t i = 0; i < n; ++i)
        EXPECT_NEAR(grey[i], expectedGrey[i][0], 1.0) << i;

    std::vector<uint8_t> labPixels(3 * n);
    ASSERT_TRUE(srgb.TransformPixels(&lab, ICCFormatBGR, n, labPixels.data(), bgr.data(), 0, 0,
                                     ICCFormatLab));
    const auto expectedLab = Transicc(scratch, ProfileFolder + "sRGB.icc",
                                      ProfileFolder + "LCMSLABI.ICM", RGBColours(bgr));
    ASSERT_EQ(expectedLab.size(), size_t(n));
    for (int32_t i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(labPixels[3 * i] * 100.0 / 255, expectedLab[i][0], 0.6);
        EXPECT_NEAR(labPixels[3 * i + 1] - 128.0, expectedLab[i][1], 1.0);
        EXPECT_NEAR(labPixels[3 * i + 2] - 128.0, expectedLab[i][2], 1.0);
    }

    // Grey back to sRGB, read as red, green, blue.
    const std::vector<uint8_t> levels = {0, 40, 128, 200, 255};
    std::vector<uint8_t> rgb(3 * levels.size());
    ASSERT_TRUE(gray.TransformPixels(&srgb, ICCFormatGray, int32_t(levels.size()), rgb.data(),
                                     levels.data(), 0, 0, ICCFormatRGB));
    std::vector<std::vector<double>> levelInput;
    for (uint8_t v : levels)
        levelInput.push_back({double(v)});
    const auto expectedRgb =
        Transicc(scratch, ProfileFolder + "Gray.icc", ProfileFolder + "sRGB.icc", levelInput);
    ASSERT_EQ(expectedRgb.size(), levels.size());
    for (size_t i = 0; i < levels.size(); ++i)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(rgb[3 * i + c], expectedRgb[i][c], 1.0) << i << ", " << c;
}

TEST(VLICCTransform, CmykLayoutsMatchTransicc) {
    REQUIRE_TRANSICC();
    ScratchFolder scratch;
    const auto cmykBytes = CmykProfile();
    scratch.Write("cmyk.icc", cmykBytes);
    TVLICC srgb, cmyk;
    srgb.LoadSystemSRGB();
    cmyk.LoadFromBuffer(cmykBytes.data(), static_cast<int32_t>(cmykBytes.size()));
    ASSERT_TRUE(cmyk.IsValid());
    EXPECT_EQ(cmyk.GetCprtText(), "Test CMYK");
    const auto bgr = SampleBGR();
    const int32_t n = static_cast<int32_t>(bgr.size() / 3);
    std::vector<uint8_t> plain(4 * n), inverted(4 * n);
    ASSERT_TRUE(srgb.TransformPixels(&cmyk, ICCFormatBGR, n, plain.data(), bgr.data(), 0, 0,
                                     ICCFormatCMYK));
    ASSERT_TRUE(srgb.TransformPixels(&cmyk, ICCFormatBGR, n, inverted.data(), bgr.data(), 0, 0,
                                     ICCFormatCMYKInverted));
    const auto expected = Transicc(scratch, "*sRGB", scratch.File("cmyk.icc"), RGBColours(bgr));
    ASSERT_EQ(expected.size(), size_t(n));
    // Integer transforms of the engine map white exactly onto the paper (no ink), which
    // transicc's floating-point transform does not; white (pixel 1) is checked on its own.
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(plain[4 + c], 0);
    for (int32_t i = 0; i < n; ++i)
        for (int c = 0; c < 4 && i != 1; ++c) {
            SCOPED_TRACE(std::to_string(i) + ", ink " + std::to_string(c));
            EXPECT_NEAR(plain[4 * i + c], expected[i][c] * 2.55, 1.0);
            EXPECT_EQ(inverted[4 * i + c], 255 - plain[4 * i + c]);
        }

    // Both CMYK input layouts give the same colours.
    std::vector<uint8_t> fromPlain(3 * n), fromInverted(3 * n);
    ASSERT_TRUE(cmyk.TransformPixels(&srgb, ICCFormatCMYK, n, fromPlain.data(), plain.data(), 0, 0,
                                     ICCFormatBGR));
    ASSERT_TRUE(cmyk.TransformPixels(&srgb, ICCFormatCMYKInverted, n, fromInverted.data(),
                                     inverted.data(), 0, 0, ICCFormatBGR));
    EXPECT_EQ(fromPlain, fromInverted);
    // Paper white comes back white.
    EXPECT_NEAR(fromPlain[3], 255, 2);
}

class VLICCBitmap : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        Srgb.LoadSystemSRGB();
        const auto cmyk = CmykProfile();
        Cmyk.LoadFromBuffer(cmyk.data(), static_cast<int32_t>(cmyk.size()));
        const auto gray = GrayProfile();
        Gray.LoadFromBuffer(gray.data(), static_cast<int32_t>(gray.size()));
    }

    // A bitmap of three rows of the sample colours.
    static std::unique_ptr<TVLBitmap> SampleBitmap() {
        const auto bgr = SampleBGR();
        auto bitmap = std::make_unique<TVLBitmap>(static_cast<int32_t>(bgr.size() / 3), 3, vl24RGB);
        for (int32_t y = 0; y < 3; ++y)
            std::copy(bgr.begin(), bgr.end(), bitmap->GetScanline(y));
        bitmap->UnmapAllScanlines();
        return bitmap;
    }

    TVLICC Srgb, Cmyk, Gray;
};

TEST_F(VLICCBitmap, ConvertsEveryRowIntoEachOutputFormat) {
    const auto bgr = SampleBGR();
    const int32_t w = static_cast<int32_t>(bgr.size() / 3);
    struct Case {
        TVLPixelFormat to;
        TVLICC* dest;
        int32_t code;
        int bytes;
    };
    const Case cases[] = {{vl8g, &Gray, ICCFormatGray, 1},
                          {vlCMYK, &Cmyk, ICCFormatCMYKInverted, 4},
                          {vlRGB48, &Srgb, ICCFormatRGB16LE, 6},
                          {vl24RGB, &Srgb, ICCFormatBGR, 3}};
    for (bool inFile : {false, true}) {
        SCOPED_TRACE(inFile ? "file" : "memory");
        DefaultMinFileSize = inFile ? 0 : int64_t{1} << 40;
        for (const Case& c : cases) {
            SCOPED_TRACE(static_cast<int>(c.to));
            ASSERT_TRUE(c.dest->IsValid());
            std::vector<uint8_t> expected(static_cast<size_t>(w) * c.bytes);
            TVLICC reference;
            reference.LoadSystemSRGB();
            ASSERT_TRUE(reference.TransformPixels(c.dest, ICCFormatBGR, w, expected.data(),
                                                  bgr.data(), 0, 0, c.code));
            auto bitmap = SampleBitmap();
            ASSERT_TRUE(Srgb.TransformBitmap(*bitmap, c.to, c.dest));
            EXPECT_FALSE(Srgb.HasTransform());
            ASSERT_EQ(bitmap->GetPixelFormat(), c.to);
            ASSERT_EQ(bitmap->GetWidth(), w);
            for (int32_t y = 0; y < 3; ++y)
                ASSERT_TRUE(std::equal(expected.begin(), expected.end(), bitmap->GetScanline(y)))
                    << "row " << y;
        }
    }
}

TEST_F(VLICCBitmap, LabBitmapsKeepSignedChromaBytes) {
    TVLICC lab;
    if (!std::filesystem::exists(ProfileFolder + "LCMSLABI.ICM") ||
        !LoadProfile(lab, "LCMSLABI.ICM"))
        SV_SKIP_WITHOUT_REFERENCE("icc-profiles-free missing");
    auto bitmap = SampleBitmap();
    ASSERT_TRUE(Srgb.TransformBitmap(*bitmap, vlCIELab, &lab));
    ASSERT_EQ(bitmap->GetPixelFormat(), vlCIELab);
    const uint8_t* row = bitmap->GetScanline(0);
    // D50 Lab of red (pixel 2): L* 54.3, a* +80.8, b* +69.9; of green (pixel 3): a* -79.3.
    EXPECT_NEAR(row[6] * 100.0 / 255, 54.3, 1.0);
    EXPECT_NEAR(static_cast<int8_t>(row[7]), 81, 2);
    EXPECT_NEAR(static_cast<int8_t>(row[8]), 70, 2);
    EXPECT_NEAR(static_cast<int8_t>(row[10]), -79, 2);
    // Back to 24 bits. Neutral colours come back (a chroma byte read with the wrong sign would
    // turn them strongly green or magenta), and red stays red; 8-bit Lab loses some precision
    // at the edge of the gamut.
    ASSERT_TRUE(lab.TransformBitmap(*bitmap, vl24RGB, &Srgb));
    const auto bgr = SampleBGR();
    row = bitmap->GetScanline(2);
    for (int pixel : {0, 1, 5})
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(row[3 * pixel + c], bgr[3 * pixel + c], 3) << pixel << ", " << c;
    EXPECT_GE(row[8], 245);
    EXPECT_LE(row[7], 16);
    EXPECT_LE(row[6], 16);
}

TEST_F(VLICCBitmap, AlphaChannelStaysWithTheConvertedPixels) {
    auto bitmap = SampleBitmap();
    bitmap->SetAlphaPixel(1, 1, 77);
    ASSERT_TRUE(Srgb.TransformBitmap(*bitmap, vlRGB48, &Srgb));
    EXPECT_EQ(bitmap->GetPixelFormat(), vlRGB48);
    ASSERT_TRUE(bitmap->HasAlphaChannel());
    EXPECT_EQ(bitmap->GetAlphaPixel(1, 1), 77);
}

TEST_F(VLICCBitmap, FailuresLeaveTheBitmapUnchanged) {
    TVLICC empty;
    const auto original = SampleBGR();
    struct Case {
        const char* name;
        TVLPixelFormat to;
        TVLICC* dest;
    };
    const std::vector<Case> cases = {
        {"destination without profile", vlCMYK, &empty},
        {"pixel layout the profile cannot take", vlCMYK, &Srgb},
        {"palette output", vl8p, &Srgb},
        {"32-bit output", vl32RGB, &Srgb},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto bitmap = SampleBitmap();
        EXPECT_FALSE(Srgb.TransformBitmap(*bitmap, c.to, c.dest));
        ASSERT_EQ(bitmap->GetPixelFormat(), vl24RGB);
        EXPECT_TRUE(std::equal(original.begin(), original.end(), bitmap->GetScanline(1)));
    }
    TVLBitmap paletted(4, 4, vl8p);
    EXPECT_FALSE(Srgb.TransformBitmap(paletted, vl24RGB, &Srgb));
    EXPECT_EQ(paletted.GetPixelFormat(), vl8p);
}

TEST(VLICCProfile, RawBytesCopiesAndStreams) {
    const auto bytes = BuildProfile(0x02100000, "mntr", "GRAY", "XYZ ", {{"desc", DescTag("x")}});
    TVLICC profile;
    profile.LoadFromBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    TMemoryStream withLength, rawOnly;
    profile.SaveToStream(withLength, false);
    profile.SaveToStream(rawOnly, true);
    ASSERT_EQ(withLength.GetSize(), 4 + profile.GetRawLength());
    int32_t length = 0;
    std::memcpy(&length, withLength.Memory(), 4);
    EXPECT_EQ(length, static_cast<int32_t>(bytes.size()));
    ASSERT_EQ(rawOnly.GetSize(), static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(std::memcmp(rawOnly.Memory(), bytes.data(), bytes.size()), 0);

    TVLICC copy;
    copy.Assign(&profile);
    EXPECT_EQ(copy.GetRawLength(), profile.GetRawLength());
    EXPECT_EQ(copy.GetDescText(), "x");
    // The built-in sRGB profile has no bytes of its own; its copy is the built-in profile again.
    TVLICC srgb;
    srgb.LoadSystemSRGB();
    EXPECT_EQ(srgb.GetRawLength(), 0);
    EXPECT_TRUE(srgb.GetDescText().empty());
    copy.Assign(&srgb);
    EXPECT_TRUE(copy.IsValid());
    EXPECT_TRUE(copy.GetDescText().empty());
    copy.Assign(nullptr);
    EXPECT_TRUE(copy.IsValid());
    copy.Free();
    EXPECT_FALSE(copy.IsValid());
    EXPECT_EQ(copy.GetRaw(), nullptr);
}

TEST(VLICCProfile, SurvivesTruncatedAndRandomProfiles) {
    const std::string file = ProfileFolder + "sRGB.icc";
    std::vector<uint8_t> sample;
    if (std::filesystem::exists(file))
        sample = ReadFileBytes(file);
    else
        sample = BuildProfile(0x02100000, "mntr", "RGB ", "XYZ ",
                              {{"desc", DescTag("d")}, {"cprt", TextTag("c")}});
    TVLICC srgb;
    srgb.LoadSystemSRGB();
    int iteration = 0;
    FuzzParser(
        sample,
        [&](const uint8_t* Data, int32_t Length) {
            TVLICC profile;
            profile.LoadFromBuffer(Data, Length);
            ASSERT_LT(profile.GetDescText().size(), 1000u);
            ASSERT_LT(profile.GetCprtText().size(), 1000u);
            // Building a transform is slow; every 50th profile that opens is used for one.
            if (!profile.IsValid() || iteration++ % 50 != 0) return;
            uint8_t in[6] = {1, 2, 3, 200, 100, 50}, out[6];
            profile.TransformPixels(&srgb, ICCFormatBGR, 2, out, in, 0, 0, ICCFormatBGR);
        },
        1500);
}
