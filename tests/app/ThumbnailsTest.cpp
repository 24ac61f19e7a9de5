// The thumbnail decoder, the strip's items while the decoder runs, the search and the glow.
#include "app/formThumbs.h"

#include "imaging/io/VistrelIO.h"
#include "imaging/proc/VistrelProc.h"
#include "tests/ExternalTool.h"
#include "tests/app/ImagingStartup.h"
#include "tests/app/ThumbnailPictures.h"

#include <gtest/gtest.h>

using enum TVLPixelFormat;

TEST(Thumbnails, TheLongerSideBecomes85AndTheOtherIsTruncated) {
    ScratchFolder folder;
    struct Case {
        int32_t Width, Height, ThumbWidth, ThumbHeight;
        const char* Name;
    };
    TVistrelIO io(nullptr);
    TVistrelProc proc(nullptr);
    for (const Case& c : {Case{1000, 500, 85, 42, "wide.png"}, Case{50, 100, 42, 85, "tall.png"},
                          Case{400, 300, 85, 63, "four-three.png"},
                          Case{1000, 500, 85, 42, "wide.jpg"}, Case{85, 85, 85, 85, "same.png"}}) {
        SCOPED_TRACE(c.Name);
        WritePicture(folder.File(c.Name), c.Width, c.Height, 120);
        std::unique_ptr<TVLBitmap> thumb = MakeThumbnail(io, proc, Str(folder.File(c.Name)));
        ASSERT_NE(thumb, nullptr);
        EXPECT_EQ(thumb->GetWidth(), c.ThumbWidth);
        EXPECT_EQ(thumb->GetHeight(), c.ThumbHeight);
        EXPECT_EQ(thumb->GetLocation(), TVLLocation::vlMemory);
        EXPECT_NEAR(CentreShade(*thumb), 120, 2);
    }
}

TEST(Thumbnails, ALargeJpegIsDecodedReducedButNotBelowTwiceTheThumbnail) {
    ScratchFolder folder;
    WritePicture(folder.File("big.jpg"), 1600, 1400, 200);
    TVistrelIO io(nullptr);
    TVistrelProc proc(nullptr);
    std::unique_ptr<TVLBitmap> thumb = MakeThumbnail(io, proc, Str(folder.File("big.jpg")));
    ASSERT_NE(thumb, nullptr);
    EXPECT_EQ(io.IOParams().JpegScaleUsed, 8); // 200 x 175, both at least 170
    EXPECT_EQ(thumb->GetWidth(), 85);
    EXPECT_EQ(thumb->GetHeight(), 74);
}

TEST(Thumbnails, ADamagedOrMissingFileGivesNoThumbnail) {
    ScratchFolder folder;
    WritePicture(folder.File("whole.png"), 40, 30, 90);
    std::vector<uint8_t> bytes = folder.Read("whole.png");
    bytes.resize(bytes.size() / 2);
    folder.Write("cut.png", bytes);
    folder.Write("noise.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3});
    TVistrelIO io(nullptr);
    TVistrelProc proc(nullptr);
    for (const char* name : {"cut.png", "noise.jpg", "missing.png"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(MakeThumbnail(io, proc, Str(folder.File(name))), nullptr);
    }
    // Through the strip: the damaged picture keeps no thumbnail (it shows the loading text), the
    // next one gets its own.
    TSVThumbnailList list;
    list.FillThumbnails({Str(folder.File("cut.png")), Str(folder.File("whole.png"))});
    WaitForDecoder(list);
    EXPECT_EQ(list.Item(0).Bitmap, nullptr);
    ASSERT_NE(list.Item(1).Bitmap, nullptr);
    EXPECT_EQ(list.Item(1).Bitmap->GetWidth(), 85);
}

TEST(Thumbnails, ARefillWhileDecodingKeepsNothingOfTheOldFolder) {
    ScratchFolder old, fresh;
    std::vector<String> oldPaths, freshPaths;
    for (int i = 0; i < 40; ++i) {
        const std::string name = "old" + std::to_string(i) + ".png";
        WritePicture(old.File(name), 300, 100, 10);
        oldPaths.push_back(Str(old.File(name)));
    }
    for (int i = 0; i < 5; ++i) {
        const std::string name = "new" + std::to_string(i) + ".png";
        WritePicture(fresh.File(name), 100, 200, 250);
        freshPaths.push_back(Str(fresh.File(name)));
    }
    TSVThumbnailList list;
    int32_t arrived = 0;
    list.OnChanged = [&] { ++arrived; };
    list.FillThumbnails(oldPaths);
    // Let a few of the old folder's thumbnails come in, then open the other folder.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (arrived < 2 && std::chrono::steady_clock::now() < deadline)
        CheckSynchronize(10);
    list.FillThumbnails(freshPaths);
    WaitForDecoder(list);
    ASSERT_EQ(list.Count(), 5);
    for (int32_t i = 0; i < list.Count(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(list.Item(i).Path, freshPaths[static_cast<size_t>(i)]);
        ASSERT_NE(list.Item(i).Bitmap, nullptr);
        EXPECT_EQ(list.Item(i).Bitmap->GetWidth(), 42);
        EXPECT_EQ(CentreShade(*list.Item(i).Bitmap), 250);
    }
}

TEST(Thumbnails, ADeleteWhileDecodingKeepsEachThumbnailOnItsPicture) {
    ScratchFolder folder;
    std::vector<String> paths;
    for (int i = 0; i < 12; ++i) {
        const std::string name = "p" + std::to_string(i) + ".png";
        WritePicture(folder.File(name), 120, 90, static_cast<uint8_t>(20 * i));
        paths.push_back(Str(folder.File(name)));
    }
    TSVThumbnailList list;
    bool deleted = false;
    list.OnChanged = [&] {
        // After the first thumbnail: one decoded item and two the decoder has not reached go.
        if (deleted || list.Item(0).Bitmap == nullptr) return;
        deleted = true;
        list.DeleteThumbnail(0);
        list.DeleteThumbnail(list.Count() - 1);
        list.DeleteThumbnail(5);
    };
    list.FillThumbnails(paths);
    WaitForDecoder(list);
    ASSERT_TRUE(deleted);
    ASSERT_EQ(list.Count(), 9);
    for (int32_t i = 0; i < list.Count(); ++i) {
        TSVThumbItem& item = list.Item(i);
        SCOPED_TRACE(Utf8FromStr(item.Path));
        const size_t n =
            static_cast<size_t>(std::find(paths.begin(), paths.end(), item.Path) - paths.begin());
        ASSERT_LT(n, paths.size());
        ASSERT_NE(item.Bitmap, nullptr);
        EXPECT_EQ(CentreShade(*item.Bitmap), 20 * n);
    }
    EXPECT_EQ(list.IndexOfPath(paths[0]), -1);
    EXPECT_EQ(list.IndexOfPath(paths[11]), -1);
    // Positions 5 of the list after the first delete was picture 6.
    EXPECT_EQ(list.IndexOfPath(paths[6]), -1);
}

TEST(Thumbnails, SearchMatchesNamesWithoutCaseAndCaptionsWithCase) {
    TStringList captions;
    captions.Add(u"beach.jpg=Summer at the Sea");
    struct Case {
        const char16_t* Path;
        const char16_t* Text;
        bool Matched;
    };
    for (const Case& c : {
             Case{u"/p/IMG_001.jpg", u"img", true},
             Case{u"/p/IMG_001.jpg", u"_001.J", true},
             Case{u"/p/IMG_001.jpg", u"p/", false},
             Case{u"/p/IMG_001.jpg", u"", false},
             Case{u"/p/beach.jpg", u"Summer", true},
             Case{u"/p/beach.jpg", u"summer", false},
             Case{u"/p/BEACH.JPG", u"Sea", true},
             Case{u"/p/beach.jpg", u"g=Sum", true},
             Case{u"/p/other.jpg", u"Summer", false},
             Case{u"/p/äpfel.png", u"ÄPF", true},
         }) {
        SCOPED_TRACE(Utf8FromStr(c.Path) + " / " + Utf8FromStr(c.Text));
        EXPECT_EQ(ThumbnailMatches(c.Path, c.Text, captions), c.Matched);
    }
    // The list marks its items, and an empty text clears every mark.
    TSVThumbnailList list;
    list.FillThumbnails({});
    WaitForDecoder(list);
    ScratchFolder folder;
    list.FillThumbnails({Str(folder.File("IMG_1.jpg")), Str(folder.File("beach.jpg"))});
    int32_t changes = 0;
    list.OnChanged = [&] { ++changes; };
    list.Search(u"img", captions);
    EXPECT_TRUE(list.Item(0).Matched);
    EXPECT_FALSE(list.Item(1).Matched);
    list.Search(u"", captions);
    EXPECT_FALSE(list.Item(0).Matched);
    EXPECT_FALSE(list.Item(1).Matched);
    EXPECT_GE(changes, 2);
    WaitForDecoder(list);
}

TEST(Thumbnails, TheGlowIsCutToItsPictureAndMayBeMissing) {
    ScratchFolder folder;
    std::unique_ptr<TVLBitmap> missing = LoadGlow(Str(folder.File("glow.png")));
    ASSERT_NE(missing, nullptr);
    TRect rect;
    EXPECT_FALSE(GlowSourceRect(*missing, rect));
    folder.Write("bad.png", {0x89, 'P', 'N', 'G'});
    EXPECT_FALSE(GlowSourceRect(*LoadGlow(Str(folder.File("bad.png"))), rect));

    struct Case {
        int32_t Width, Height;
        TRect Expected;
    };
    for (const Case& c : {Case{60, 120, Rect(0, 0, 60, 100)}, Case{128, 128, Rect(0, 0, 100, 100)},
                          Case{100, 30, Rect(0, 0, 100, 30)}}) {
        WritePicture(folder.File("glow.png"), c.Width, c.Height, 255);
        std::unique_ptr<TVLBitmap> glow = LoadGlow(Str(folder.File("glow.png")));
        ASSERT_TRUE(GlowSourceRect(*glow, rect));
        EXPECT_EQ(rect, c.Expected);
    }
}
