#include "DropTestSupport.h"

#include "components/SVDropTarget.h"
#include "platform/ui/Clipbrd.h"
#include "platform/ui/DragImage.h"

#include <vector>

namespace {

std::string Render(TSVDropSource& Source, CLIPFORMAT Format, HRESULT* Result = nullptr) {
    FORMATETC request = Request(Format);
    STGMEDIUM medium;
    const HRESULT result = Source.GetData(&request, &medium);
    if (Result != nullptr) *Result = result;
    if (result != S_OK) return {};
    std::string bytes = BytesOf(medium.hGlobal);
    ReleaseStgMedium(&medium);
    return bytes;
}

// The item IDs of a list: each item's UTF-16 units as text.
std::vector<std::string> Items(const std::string& Block, uint32_t Offset) {
    std::vector<std::string> items;
    for (;;) {
        uint16_t cb;
        std::memcpy(&cb, Block.data() + Offset, 2);
        if (cb == 0) return items;
        std::string item;
        for (uint32_t i = 2; i < cb; i += 2)
            item += Block[Offset + i];
        items.push_back(item);
        Offset += cb;
    }
}

std::vector<std::string> PathParts(const String& Path) {
    std::vector<std::string> parts;
    for (const auto& part : std::filesystem::path(Utf8FromStr(Path)))
        if (part != "/") parts.push_back(part.string());
    return parts;
}

uint32_t DwordAt(const std::string& Block, size_t Offset) {
    uint32_t value;
    std::memcpy(&value, Block.data() + Offset, 4);
    return value;
}

} // namespace

TEST(FileDropSource, RendersTheFiveFormatsByteForByte) {
    TSVDropFileSource source(nullptr);
    source.Files().Add(u"/tmp/a.jpg");
    EXPECT_EQ(Render(source, CF_HDROP), Dword(20) + Dword(0) + Dword(0) + Dword(0) + Dword(1) +
                                            Wide("/tmp/a.jpg") + std::string(4, '\0'));

    source.Files().Add(u"/tmp/b.jpg");
    source.MappedNames().Add(u"a");
    source.MappedNames().Add(u"bc");
    EXPECT_EQ(Render(source, CF_FILENAMEMAPW),
              Wide("a") + std::string(2, '\0') + Wide("bc") + std::string(6, '\0'));
    EXPECT_EQ(Render(source, CF_FILENAMEMAP), std::string("a\0bc\0\0", 6));

    EXPECT_EQ(Render(source, CF_PREFERREDDROPEFFECT), Dword(0));
    source.GiveFeedback(DROPEFFECT_MOVE);
    EXPECT_EQ(Render(source, CF_PREFERREDDROPEFFECT), Dword(2));
}

TEST(FileDropSource, RefusesWhatItCannotRender) {
    TSVDropFileSource source(nullptr);
    HRESULT result;
    Render(source, CF_HDROP, &result);
    EXPECT_EQ(result, E_UNEXPECTED) << "no files";

    TTempFolder folder;
    source.Files().Add(folder.File("one.png"));
    source.Files().Add(folder.File("two.png"));
    source.MappedNames().Add(u"x");
    struct Case {
        FORMATETC Format;
        HRESULT Expected;
    };
    const Case cases[] = {
        {Request(CF_FILENAMEMAP), DV_E_FORMATETC},
        {Request(CF_FILENAMEMAPW), DV_E_FORMATETC},
        {Request(CF_HDROP), S_OK},
        {Request(CF_IDLIST), S_OK},
        {Request(CF_PREFERREDDROPEFFECT), S_OK},
        {Request(CF_HDROP, DVASPECT_THUMBNAIL), DV_E_FORMATETC},
        {Request(CF_HDROP, DVASPECT_CONTENT, TYMED_ISTREAM), DV_E_FORMATETC},
        {Request(CF_UNICODETEXT), DV_E_FORMATETC},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Format.cfFormat);
        FORMATETC request = c.Format;
        STGMEDIUM medium;
        EXPECT_EQ(source.GetData(&request, &medium), c.Expected);
        if (c.Expected == S_OK) ReleaseStgMedium(&medium);
    }
}

TEST(FileDropSource, IdListArrayHoldsTheFolderAndEachFileOnce) {
    TTempFolder folder;
    TSVDropFileSource source(nullptr);
    source.Files().Add(folder.File("a.png"));
    source.Files().Add(folder.File("bb.png"));
    const std::string block = Render(source, CF_IDLIST);
    ASSERT_FALSE(block.empty());
    ASSERT_EQ(DwordAt(block, 0), 2u);
    const uint32_t first = DwordAt(block, 4), second = DwordAt(block, 8),
                   third = DwordAt(block, 12);
    EXPECT_EQ(first, 4u * (2 + 2));
    EXPECT_EQ(Items(block, first), PathParts(folder.Path()));
    EXPECT_EQ(
        second, first + 2 * PathParts(folder.Path()).size() + [&] {
            size_t units = 0;
            for (const auto& part : PathParts(folder.Path()))
                units += 2 * part.size();
            return units + 2;
        }());
    EXPECT_EQ(Items(block, second), std::vector<std::string>{"a.png"});
    EXPECT_EQ(third, second + 2 + 2 * 5 + 2);
    EXPECT_EQ(Items(block, third), std::vector<std::string>{"bb.png"});
    EXPECT_EQ(block.size(), third + 2 + 2 * 6 + 2);
}

TEST(FileDropSource, IdListArrayReachesFilesOutsideTheFirstOnesFolder) {
    TTempFolder folder;
    TSVDropFileSource source(nullptr);
    source.Files().Add(folder.File("sub/a.png"));
    source.Files().Add(folder.File("b.png"));
    const std::string block = Render(source, CF_IDLIST);
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(Items(block, DwordAt(block, 4)), PathParts(folder.Path()));
    EXPECT_EQ(Items(block, DwordAt(block, 8)), (std::vector<std::string>{"sub", "a.png"}));
    EXPECT_EQ(Items(block, DwordAt(block, 12)), std::vector<std::string>{"b.png"});
}

TEST(FileDropSource, IdListArrayIsRefusedWhenAFileCannotBeListed) {
    TTempFolder folder;
    TSVDropFileSource source(nullptr);
    source.Files().Add(folder.File("a.png"));
    source.Files().Add(folder.Path() + u"/missing.png");
    HRESULT result;
    Render(source, CF_IDLIST, &result);
    EXPECT_EQ(result, E_OUTOFMEMORY);
    source.Files().Put(1, u"relative.png");
    Render(source, CF_IDLIST, &result);
    EXPECT_EQ(result, E_OUTOFMEMORY);
}

TEST(DropSourceCache, HandsOutCopiesThatOutliveTheComponent) {
    auto source = std::make_unique<TSVDropSource>(nullptr);
    FORMATETC format = Request(CF_UNICODETEXT);
    STGMEDIUM stored;
    stored.tymed = TYMED_HGLOBAL;
    stored.hGlobal = BlockOf("first");
    ASSERT_EQ(source->SetData(&format, &stored, true), S_OK);

    STGMEDIUM got;
    ASSERT_EQ(source->GetData(&format, &got), S_OK);
    EXPECT_NE(got.hGlobal, stored.hGlobal);
    EXPECT_EQ(got.pUnkForRelease, nullptr);
    EXPECT_EQ(BytesOf(got.hGlobal), "first");
    ReleaseStgMedium(&got);
    EXPECT_EQ(Render(*source, CF_UNICODETEXT), "first") << "the cached block survives";

    STGMEDIUM kept;
    ASSERT_EQ(source->GetData(&format, &kept), S_OK);
    source.reset();
    EXPECT_EQ(BytesOf(kept.hGlobal), "first");
    ReleaseStgMedium(&kept);
}

TEST(DropSourceCache, ReplacesByFormatAspectAndIndex) {
    TSVDropSource source(nullptr);
    FORMATETC format = Request(CF_UNICODETEXT);
    for (const char* text : {"old", "new"}) {
        STGMEDIUM medium;
        medium.tymed = TYMED_HGLOBAL;
        medium.hGlobal = BlockOf(text);
        ASSERT_EQ(source.SetData(&format, &medium, true), S_OK);
    }
    EXPECT_EQ(Render(source, CF_UNICODETEXT), "new");

    FORMATETC other = format;
    other.lindex = 0;
    STGMEDIUM copy;
    copy.tymed = TYMED_HGLOBAL;
    copy.hGlobal = BlockOf("index 0");
    ASSERT_EQ(source.SetData(&other, &copy, false), S_OK) << "kept as a copy";
    ReleaseStgMedium(&copy);
    STGMEDIUM got;
    ASSERT_EQ(source.GetData(&other, &got), S_OK);
    EXPECT_EQ(BytesOf(got.hGlobal), "index 0");
    ReleaseStgMedium(&got);
    EXPECT_EQ(Render(source, CF_UNICODETEXT), "new");

    FORMATETC stream = Request(CF_UNICODETEXT, DVASPECT_CONTENT, TYMED_ISTREAM);
    TSVDataEntry* entry = nullptr;
    EXPECT_EQ(source.FindFORMATETC(&stream, entry, false), DV_E_TYMED);
    EXPECT_EQ(entry, nullptr);
}

TEST(DropSourceCache, DropsAReferenceToItself) {
    TSVDropSource source(nullptr);
    FORMATETC format = Request(CF_UNICODETEXT);
    STGMEDIUM medium;
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = BlockOf("mine");
    medium.pUnkForRelease = static_cast<IDataObject*>(&source);
    source.AddRef();
    ASSERT_EQ(source.SetData(&format, &medium, true), S_OK);
    EXPECT_EQ(source.RefCount(), 0);
    EXPECT_EQ(Render(source, CF_UNICODETEXT), "mine");
}

TEST(DropSource, QueryInterfaceHandsOutACountedReference) {
    TSVDropSource source(nullptr);
    for (const IID* iid : {&IID_IUnknown, &IID_IDataObject, &IID_IDropSource}) {
        void* part = nullptr;
        ASSERT_EQ(source.QueryInterface(*iid, &part), S_OK);
        EXPECT_EQ(source.RefCount(), 1);
        static_cast<IUnknown*>(part)->Release();
        EXPECT_EQ(source.RefCount(), 0);
    }
    void* none = &source;
    EXPECT_EQ(source.QueryInterface(IID_IDropTarget, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
}

TEST(DropSource, FormatTableAndEnumerator) {
    TSVDropSource source(nullptr);
    for (int i = 0; i < 21; ++i)
        source.AddFormatEtc(static_cast<CLIPFORMAT>(100 + i), nullptr, DVASPECT_CONTENT, -1,
                            TYMED_HGLOBAL);
    IEnumFORMATETC* formats = nullptr;
    EXPECT_EQ(source.EnumFormatEtc(DATADIR_SET, &formats), OLE_S_USEREG);
    ASSERT_EQ(source.EnumFormatEtc(DATADIR_GET, &formats), S_OK);

    void* asked = nullptr;
    ASSERT_EQ(formats->QueryInterface(IID_IEnumFORMATETC, &asked), S_OK);
    static_cast<IUnknown*>(asked)->Release(); // the enumerator stays alive

    FORMATETC got[25];
    ULONG fetched = 0;
    EXPECT_EQ(formats->Next(3, got, &fetched), S_OK);
    EXPECT_EQ(fetched, 3u);
    EXPECT_EQ(got[2].cfFormat, 102);
    EXPECT_EQ(formats->Skip(10), S_OK);
    IEnumFORMATETC* clone = nullptr;
    ASSERT_EQ(formats->Clone(&clone), S_OK);
    EXPECT_EQ(formats->Skip(8), S_FALSE) << "7 left";
    EXPECT_EQ(formats->Next(1, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    EXPECT_EQ(clone->Next(25, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 7u) << "the clone goes on from index 13";
    EXPECT_EQ(got[0].cfFormat, 113);
    EXPECT_EQ(clone->Reset(), S_OK);
    EXPECT_EQ(clone->Next(25, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 20u) << "the 21st format was ignored";
    clone->Release();
    formats->Release();

    FORMATETC known = Request(110);
    EXPECT_EQ(source.QueryGetData(&known), S_OK);
    known.tymed = TYMED_ISTREAM | TYMED_HGLOBAL;
    EXPECT_EQ(source.QueryGetData(&known), S_OK);
    known.dwAspect = DVASPECT_ICON;
    EXPECT_EQ(source.QueryGetData(&known), E_FAIL);
}

TEST(DropSource, QueryContinueDrag) {
    struct Case {
        const char* Name;
        bool Escape;
        DWORD Keys;
        DWORD Effect;
        TDragTypes Allowed;
        bool HandlerContinues;
        HRESULT Expected;
        int DropEvents;
    };
    const TDragTypes all = DragTypeSet(dtCopy) | DragTypeSet(dtMove) | DragTypeSet(dtLink);
    const Case cases[] = {
        {"escape", true, MK_LBUTTON, DROPEFFECT_COPY, all, true, DRAGDROP_S_CANCEL, 0},
        {"left held", false, MK_LBUTTON, DROPEFFECT_COPY, all, true, S_OK, 0},
        {"right held", false, MK_RBUTTON, DROPEFFECT_COPY, all, true, S_OK, 0},
        {"no effect", false, 0, DROPEFFECT_NONE, all, true, DRAGDROP_S_CANCEL, 0},
        {"copy", false, MK_SHIFT, DROPEFFECT_COPY, all, true, DRAGDROP_S_DROP, 1},
        {"link", false, 0, DROPEFFECT_LINK, all, true, DRAGDROP_S_DROP, 1},
        {"copy first, not allowed", false, 0, DROPEFFECT_COPY | DROPEFFECT_MOVE,
         DragTypeSet(dtMove), true, DRAGDROP_S_CANCEL, 0},
        {"handler refuses", false, 0, DROPEFFECT_MOVE, all, false, DRAGDROP_S_CANCEL, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TSVDropSource source(nullptr);
        source.SetDragTypes(c.Allowed);
        int events = 0;
        source.OnDrop = [&](TObject*, TDragType, bool& ContinueDrop) {
            ++events;
            ContinueDrop = c.HandlerContinues;
        };
        source.GiveFeedback(c.Effect);
        EXPECT_EQ(source.QueryContinueDrag(c.Escape, c.Keys), c.Expected);
        EXPECT_EQ(events, c.DropEvents);
    }
}

TEST(DropSource, FeedbackAndImage) {
    TSVDropSource source(nullptr);
    EXPECT_EQ(source.GiveFeedback(DROPEFFECT_LINK), DRAGDROP_S_USEDEFAULTCURSORS);
    source.OnFeedback = [](TObject*, DWORD, bool& UseDefaultCursors) { UseDefaultCursors = false; };
    EXPECT_EQ(source.GiveFeedback(DROPEFFECT_MOVE), S_OK);
    EXPECT_EQ(source.CurrentEffect(), DWORD(DROPEFFECT_MOVE));

    source.SetShowImage(true);
    EXPECT_FALSE(source.ShowImage()) << "no image yet";
    TBitmap image;
    image.SetSize(4, 3);
    source.SetImage(&image);
    source.SetShowImage(true);
    EXPECT_TRUE(source.ShowImage());
    EXPECT_EQ(source.Image()->Width(), 4);
}

TEST(DropSource, ExecuteHandsTheImageAndHotSpotToTheDrag) {
    TBitmap picture;
    picture.SetPixelFormat(pf24bit);
    picture.SetSize(5, 3);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x)
            picture.Canvas()->SetPixels(x, y, x == y ? clFuchsia : TColor(0x102030 + x * 16 + y));
    struct TCase {
        const char* Name;
        bool Show;
        bool Shown;
    };
    for (const TCase& c : {TCase{"shown", true, true}, TCase{"not asked for", false, false}}) {
        SCOPED_TRACE(c.Name);
        TSVDropSource source(nullptr);
        source.AddFormatEtc(CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL);
        source.SetImage(&picture);
        source.SetShowImage(c.Show);
        source.SetImageHotSpotX(4);
        source.SetImageHotSpotY(2);
        source.Execute(); // no desktop to drag on here: the drag itself ends at once
        TDragImage image;
        ASSERT_EQ(GetDragImage(&source, image), c.Shown);
        if (!c.Shown) continue;
        EXPECT_EQ(image.Width, 5);
        EXPECT_EQ(image.Height, 3);
        EXPECT_EQ(image.HotSpot, (POINT{4, 2}));
        ASSERT_EQ(image.Pixels.size(), 15u);
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 5; ++x) {
                SCOPED_TRACE(testing::Message() << x << "," << y);
                // TColor is 0x00BBGGRR, the drag's pixels 0xAARRGGBB; magenta is see-through.
                const uint32_t c = 0x102030 + x * 16 + y;
                const uint32_t argb =
                    0xFF000000u | (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
                EXPECT_EQ(image.Pixels[static_cast<size_t>(y * 5 + x)], x == y ? 0u : argb);
            }
        // The image is no format the drag offers to its target.
        IEnumFORMATETC* formats = nullptr;
        ASSERT_EQ(source.EnumFormatEtc(DATADIR_GET, &formats), S_OK);
        FORMATETC format;
        int32_t offered = 0;
        while (formats->Next(1, &format, nullptr) == S_OK)
            ++offered;
        formats->Release();
        EXPECT_EQ(offered, 1);
    }
}

TEST(ClipboardFileList, CopyAndCutPasteWithTheirOperation) {
    TTempFolder folder;
    const String file = folder.File("shown.png");
    for (const auto& [cut, expected] : {std::pair{false, 1u}, std::pair{true, 2u}}) {
        SCOPED_TRACE(cut ? "cut" : "copy");
        {
            TSVDropFileSource source(nullptr);
            source.Files().Add(file);
            ASSERT_TRUE(cut ? source.CutToClipboard() : source.CopyToClipboard());
        } // the clipboard keeps its own data
        TSVDropFileTarget target(nullptr);
        EXPECT_EQ(target.PasteFromClipboard(), expected);
        ASSERT_EQ(target.Files().Count(), 1);
        EXPECT_EQ(target.Files()[0], file);
        EXPECT_EQ(target.TSVDropTarget::PasteFromClipboard(), expected);
    }
}

TEST(ClipboardFileList, NothingToCopyLeavesTheClipboardAlone) {
    {
        TSVDropFileSource source(nullptr);
        source.Files().Add(u"/tmp/kept.png");
        ASSERT_TRUE(source.CopyToClipboard());
    }
    TSVDropFileSource empty(nullptr);
    EXPECT_FALSE(empty.CopyToClipboard());
    TSVDropSource base(nullptr);
    EXPECT_FALSE(base.CutToClipboard());
    TSVDropFileTarget target(nullptr);
    EXPECT_EQ(target.PasteFromClipboard(), 1u);
    ASSERT_EQ(target.Files().Count(), 1);
    EXPECT_EQ(target.Files()[0], u"/tmp/kept.png");
}

TEST(ClipboardFileList, AShortEffectBlockCountsAsNone) {
    TSVDropFileTarget target(nullptr); // registers the formats
    TClipboard* clipboard = Clipboard();
    clipboard->Open();
    clipboard->SetAsHandle(CF_HDROP, BlockOf(Dword(20) + std::string(12, '\0') + Dword(1) +
                                             Wide("/x") + std::string(4, '\0')));
    clipboard->SetAsHandle(CF_PREFERREDDROPEFFECT, BlockOf(std::string("\2\0\0", 3)));
    clipboard->Close();
    EXPECT_EQ(target.TSVDropTarget::PasteFromClipboard(), 0u);
    EXPECT_EQ(target.PasteFromClipboard(), 1u);
    ASSERT_EQ(target.Files().Count(), 1);
    EXPECT_EQ(target.Files()[0], u"/x");
}
