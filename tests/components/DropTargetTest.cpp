#include "DropTestSupport.h"

#include "components/SVDropTarget.h"
#include "platform/ui/Forms.h"

#include <vector>

namespace {

// A control that records the scroll messages it receives.
class TScrolled : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
    std::vector<std::pair<UINT, WPARAM>> Scrolls;
    void Dispatch(TMessage& Message) override {
        if (Message.Msg == WM_HSCROLL || Message.Msg == WM_VSCROLL)
            Scrolls.emplace_back(Message.Msg, Message.WParam);
        TCustomControl::Dispatch(Message);
    }
};

POINT ScreenOf(TControl& Control, int32_t X, int32_t Y) {
    Control.ClientToScreen(X, Y);
    return POINT{X, Y};
}

// A CF_HDROP block with the given header fields and the bytes after the header.
std::string DropFilesBlock(uint32_t Files, uint32_t WideFlag, const std::string& Names) {
    return Dword(Files) + std::string(12, '\0') + Dword(WideFlag) + Names;
}

constexpr TDragTypes AllTypes = DragTypeSet(dtCopy) | DragTypeSet(dtMove) | DragTypeSet(dtLink);
constexpr DWORD AllEffects = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;

} // namespace

TEST(DropTarget, EffectFromAllowedTypesAndKeys) {
    struct Case {
        TDragTypes Allowed;
        DWORD Offered;
        TShiftState Keys;
        DWORD Expected;
    };
    const Case cases[] = {
        {AllTypes, AllEffects, 0, DROPEFFECT_COPY},
        {AllTypes, AllEffects, ssShift, DROPEFFECT_MOVE},
        {AllTypes, AllEffects, ssShift | ssCtrl, DROPEFFECT_LINK},
        {AllTypes, AllEffects, ssCtrl, DROPEFFECT_COPY},
        {AllTypes, DROPEFFECT_COPY, ssShift, DROPEFFECT_COPY},
        {AllTypes, DROPEFFECT_MOVE | DROPEFFECT_LINK, 0, DROPEFFECT_MOVE},
        {AllTypes, DROPEFFECT_LINK, ssShift, DROPEFFECT_LINK},
        {DragTypeSet(dtMove), AllEffects, 0, DROPEFFECT_MOVE},
        {DragTypeSet(dtCopy), DROPEFFECT_MOVE, ssShift, DROPEFFECT_NONE},
        {0, AllEffects, ssShift | ssCtrl, DROPEFFECT_NONE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.Allowed) << " " << c.Offered << " " << c.Keys);
        TSVDropFileTarget target(nullptr);
        target.SetDragTypes(c.Allowed);
        TPoint point{150, 150};
        DWORD effect = c.Offered;
        EXPECT_EQ(target.GetValidDropEffect(c.Keys, point, effect), c.Expected);
        EXPECT_EQ(effect & ~c.Offered, 0u);
    }
}

TEST(DropTarget, HandlerDecidesTheEffectAlone) {
    TSVDropFileTarget target(nullptr);
    target.OnGetDropEffect = [](TObject*, TShiftState, TPoint&, DWORD& Effect) {
        Effect = DROPEFFECT_LINK;
    };
    TPoint point{0, 0};
    DWORD effect = AllEffects;
    EXPECT_EQ(target.GetValidDropEffect(0, point, effect), DWORD(DROPEFFECT_LINK));
    EXPECT_EQ(effect, 0u) << "nothing allowed";
}

class DropTargetWindow : public testing::Test {
protected:
    void SetUp() override {
        Control = new TScrolled(&Form);
        Control->SetParent(&Form);
        Control->SetBounds(0, 0, 300, 300);
        Form.SetBounds(0, 0, 300, 300);
        Target.SetDragTypes(AllTypes);
        Target.Register(Control);
        Source.Files().Add(u"/tmp/dragged.png");
    }
    DWORD Enter(int32_t X, int32_t Y) {
        DWORD effect = AllEffects;
        Target.DragEnter(&Source, 0, ScreenOf(*Control, X, Y), &effect);
        return effect;
    }
    DWORD Over(int32_t X, int32_t Y) {
        DWORD effect = AllEffects;
        Target.DragOver(0, ScreenOf(*Control, X, Y), &effect);
        return effect;
    }

    TForm Form{nullptr};
    TScrolled* Control = nullptr;
    TSVDropFileTarget Target{nullptr};
    TSVDropFileSource Source{nullptr};
};

TEST_F(DropTargetWindow, ScrollBandAlongABar) {
    ASSERT_TRUE(ShowScrollBar(Control->Handle(), SB_HORZ, true));
    ASSERT_EQ(Control->ClientWidth(), 300);
    Enter(150, 10);
    for (const auto& [x, scrolls] : {std::pair{19, true}, std::pair{20, false},
                                     std::pair{280, false}, std::pair{281, true}}) {
        SCOPED_TRACE(x);
        const DWORD effect = Over(x, 10);
        EXPECT_EQ((effect & DROPEFFECT_SCROLL) != 0, scrolls);
        EXPECT_EQ(effect & ~DROPEFFECT_SCROLL, DWORD(DROPEFFECT_COPY));
        EXPECT_EQ(Target.ScrollTimerEnabled(), scrolls);
    }
    // No vertical bar: the top band does not scroll.
    EXPECT_EQ(Over(150, 5) & DROPEFFECT_SCROLL, 0u);
    Target.DragLeave();
    EXPECT_FALSE(Target.ScrollTimerEnabled());
}

TEST_F(DropTargetWindow, NoBarsNoScrolling) {
    Enter(150, 150);
    EXPECT_EQ(Over(1, 1), DWORD(DROPEFFECT_COPY));
    EXPECT_FALSE(Target.ScrollTimerEnabled());
}

TEST_F(DropTargetWindow, AutoScrollFollowsTheCurrentPoint) {
    ASSERT_TRUE(ShowScrollBar(Control->Handle(), SB_BOTH, true));
    Enter(5, 5);
    Over(150, 100);
    Target.DoTargetScroll();
    EXPECT_TRUE(Control->Scrolls.empty()) << "the point moved away from the edges";
    Over(Control->ClientWidth() - 1, 2);
    Target.DoTargetScroll();
    EXPECT_EQ(Control->Scrolls, (std::vector<std::pair<UINT, WPARAM>>{
                                    {WM_VSCROLL, SB_LINEUP}, {WM_HSCROLL, SB_LINERIGHT}}));
    Target.DragLeave();
}

TEST_F(DropTargetWindow, DropFillsFilesAndMaps) {
    Source.Files().Add(u"/tmp/second.png");
    Source.MappedNames().Add(u"one");
    Source.MappedNames().Add(u"two");
    int drops = 0;
    Target.OnDrop = [&](TObject*, TShiftState, TPoint& Point, DWORD&) {
        ++drops;
        EXPECT_EQ(Point, (TPoint{40, 50}));
    };
    Enter(10, 10);
    DWORD effect = AllEffects;
    Target.Drop(&Source, MK_SHIFT, ScreenOf(*Control, 40, 50), &effect);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_MOVE));
    EXPECT_EQ(drops, 1);
    ASSERT_EQ(Target.Files().Count(), 2);
    EXPECT_EQ(Target.Files()[1], u"/tmp/second.png");
    ASSERT_EQ(Target.MappedNames().Count(), 2);
    EXPECT_EQ(Target.MappedNames()[1], u"two");
    EXPECT_EQ(Source.RefCount(), 0) << "the data object is let go";

    Source.MappedNames().Delete(1);
    Enter(10, 10);
    Target.Drop(&Source, 0, ScreenOf(*Control, 40, 50), &effect);
    EXPECT_EQ(Target.Files().Count(), 2);
    EXPECT_EQ(Target.MappedNames().Count(), 0) << "one name for two files";
}

TEST_F(DropTargetWindow, DataWithoutAFileListIsRefused) {
    TBlockDataObject other;
    other.Blocks[CF_UNICODETEXT] = Wide("text");
    int drops = 0;
    Target.OnDrop = [&](TObject*, TShiftState, TPoint&, DWORD&) { ++drops; };
    DWORD effect = AllEffects;
    Target.DragEnter(&other, 0, ScreenOf(*Control, 9, 9), &effect);
    EXPECT_EQ(effect, 0u);
    EXPECT_EQ(Over(9, 9), 0u);
    effect = AllEffects;
    Target.Drop(&other, 0, ScreenOf(*Control, 9, 9), &effect);
    EXPECT_EQ(effect, 0u);
    EXPECT_EQ(drops, 0);
    EXPECT_EQ(other.RefCount, 0);
}

TEST_F(DropTargetWindow, MalformedFileListsFromOtherPrograms) {
    const std::string names = Wide("/a") + std::string(2, '\0') + Wide("/b") + std::string(4, '\0');
    struct Case {
        const char* Name;
        std::string Block;
        std::vector<String> Files;
    };
    const Case cases[] = {
        {"well formed", DropFilesBlock(20, 1, names), {u"/a", u"/b"}},
        {"pFiles 0", DropFilesBlock(0, 1, names), {}},
        {"pFiles 19", DropFilesBlock(19, 1, names), {}},
        {"pFiles at the end", DropFilesBlock(20 + uint32_t(names.size()), 1, names), {}},
        {"pFiles far out", DropFilesBlock(0xFFFFFFFF, 1, names), {}},
        {"header only", Dword(20) + std::string(12, '\0'), {}},
        {"no terminator", DropFilesBlock(20, 1, Wide("/a") + std::string(2, '\0') + Wide("/b")),
         {u"/a"}},
        {"odd byte at the end", DropFilesBlock(20, 1, Wide("/a") + std::string(3, '\0')),
         {u"/a"}},
        {"fWide 0", DropFilesBlock(20, 0, std::string("/a\0/\xe9\0\0", 7)), {u"/a", u"/\u00e9"}},
        {"names at an odd offset", DropFilesBlock(21, 1, "\x7f" + Wide("/c") + std::string(4, '\0')),
         {u"/c"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TBlockDataObject data;
        data.Blocks[CF_HDROP] = c.Block;
        data.Blocks[CF_FILENAMEMAPW] = Wide("m") + std::string(2, '\0') + Wide("n"); // cut off
        int drops = 0;
        Target.OnDrop = [&](TObject*, TShiftState, TPoint&, DWORD&) { ++drops; };
        DWORD effect = AllEffects;
        Target.DragEnter(&data, 0, ScreenOf(*Control, 9, 9), &effect);
        effect = AllEffects;
        Target.Drop(&data, 0, ScreenOf(*Control, 9, 9), &effect);
        std::vector<String> files;
        for (int32_t i = 0; i < Target.Files().Count(); ++i) files.push_back(Target.Files()[i]);
        EXPECT_EQ(files, c.Files);
        EXPECT_EQ(drops, c.Files.empty() ? 0 : 1);
        EXPECT_EQ(effect, c.Files.empty() ? 0u : DWORD(DROPEFFECT_COPY));
        EXPECT_EQ(Target.MappedNames().Count(), c.Files.size() == 1 ? 1 : 0);
    }
}

TEST_F(DropTargetWindow, RegisterOnceAndMoveToAnotherControl) {
    EXPECT_EQ(Target.RefCount(), 1) << "the window holds the target";
    Target.Register(Control);
    EXPECT_EQ(Target.RefCount(), 1);

    auto* other = new TScrolled(&Form);
    other->SetParent(&Form);
    Target.Register(other);
    EXPECT_EQ(Target.Control(), other);
    EXPECT_EQ(Target.RefCount(), 1);
    TSVDropFileTarget second(nullptr);
    second.Register(Control); // the first control is free again
    EXPECT_EQ(second.Control(), Control);
    Target.Unregister();
    EXPECT_EQ(Target.RefCount(), 0);
    EXPECT_EQ(Target.Control(), nullptr);
}

TEST_F(DropTargetWindow, FailedRegisterBindsNothingAndDestroysQuietly) {
    Control->SetName(u"viewer");
    auto second = std::make_unique<TSVDropFileTarget>(nullptr);
    try {
        second->Register(Control);
        FAIL() << "a window takes one target";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), u"Failed to Register viewer");
    }
    EXPECT_EQ(second->Control(), nullptr);
    EXPECT_NO_THROW(second->Unregister());
    EXPECT_NO_THROW(second.reset());
    EXPECT_EQ(Target.Control(), Control) << "the first target keeps the window";
}

TEST_F(DropTargetWindow, ControlFreedFirst) {
    delete Control;
    EXPECT_EQ(Target.Control(), nullptr);
    EXPECT_EQ(Target.RefCount(), 0);
    Control = new TScrolled(&Form);
    Control->SetParent(&Form);
    TSVDropFileTarget second(nullptr);
    EXPECT_NO_THROW(second.Register(Control));
}

TEST(DropTarget, QueryInterfaceHandsOutACountedReference) {
    TSVDropFileTarget target(nullptr);
    void* part = nullptr;
    ASSERT_EQ(target.QueryInterface(IID_IDropTarget, &part), S_OK);
    EXPECT_EQ(target.RefCount(), 1);
    static_cast<IUnknown*>(part)->Release();
    EXPECT_EQ(target.RefCount(), 0);
    EXPECT_EQ(target.QueryInterface(IID_IDataObject, &part), E_NOINTERFACE);
    EXPECT_EQ(part, nullptr);
}
