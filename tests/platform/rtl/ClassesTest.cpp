// The stream contract (positions, end-relative seeks, short transfers) and the pointer list.
#include "platform/rtl/Classes.h"
#include "platform/rtl/WinApi.h"
#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

std::filesystem::path ScratchFolder() {
    auto dir = UniqueTempPath("streams");
    std::filesystem::create_directories(dir);
    return dir;
}

TEST(MemoryStream, WritesGrowAndEndRelativeSeeksLandAtSizePlusOffset) {
    TMemoryStream s;
    const char text[] = "0123456789";
    s.WriteBuffer(text, 10);
    EXPECT_EQ(s.GetSize(), 10);
    EXPECT_EQ(s.Seek(-3, soEnd), 7);
    char c = 0;
    s.ReadBuffer(&c, 1);
    EXPECT_EQ(c, '7');
    EXPECT_EQ(s.Seek(0, soEnd), 10);
    EXPECT_EQ(s.Seek(-2, soCurrent), 8);
}

TEST(MemoryStream, ShortReadReturnsWhatRemainsAndReadBufferRaises) {
    TMemoryStream s;
    s.WriteBuffer("abc", 3);
    s.SetPosition(1);
    char buf[8] = {};
    EXPECT_EQ(s.Read(buf, 8), 2);
    EXPECT_EQ(s.Read(buf, 8), 0);
    s.SetPosition(1);
    EXPECT_THROW(s.ReadBuffer(buf, 3), EReadError);
}

TEST(MemoryStream, SetSizeTruncatesAndClampsPosition) {
    TMemoryStream s;
    s.WriteBuffer("abcdef", 6);
    s.SetSize(2);
    EXPECT_EQ(s.GetSize(), 2);
    EXPECT_EQ(s.GetPosition(), 2);
}

TEST(FileStream, CreateWriteReopenRead) {
    const auto dir = ScratchFolder();
    const String name = StrFromUtf8((dir / "f\xC3\xBC.bin").string());
    {
        TFileStream out(name, fmCreate);
        out.WriteBuffer("hello", 5);
        EXPECT_EQ(out.GetSize(), 5);
    }
    TFileStream in(name, fmOpenRead | fmShareDenyWrite);
    char buf[5];
    in.ReadBuffer(buf, 5);
    EXPECT_EQ(std::string(buf, 5), "hello");
    EXPECT_THROW(in.ReadBuffer(buf, 1), EReadError);
    EXPECT_EQ(in.Seek(-1, soEnd), 4);
    std::filesystem::remove_all(dir);
}

TEST(FileStream, MissingFileRaisesOpenErrorNamingTheFile) {
    const auto dir = ScratchFolder();
    const String name = StrFromUtf8((dir / "missing.bin").string());
    try {
        TFileStream in(name, fmOpenRead);
        FAIL() << "opened a missing file";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message().rfind(u"Cannot open file \"" + name + u"\". ", 0), 0u);
    }
    EXPECT_THROW(TFileStream(StrFromUtf8((dir / "no/such/folder").string()), fmCreate),
                 EFCreateError);
    std::filesystem::remove_all(dir);
}

// A FIFO carrying a picture's name must not stall whoever opens it: with no writer it opens at
// once and reads as empty, so a loader reports a broken file instead of hanging the viewer.
TEST(FileStream, AFifoWithoutWriterOpensAtOnceAndReadsEmpty) {
    const auto dir = ScratchFolder();
    const auto fifo = dir / "x.jpg";
    ASSERT_EQ(std::system(("mkfifo '" + fifo.string() + "'").c_str()), 0);
    const String name = StrFromUtf8(fifo.string());
    {
        TFileStream in(name, fmOpenRead);
        char buf[4];
        EXPECT_EQ(in.Read(buf, 4), 0);
    }
    const THandle handle = CreateFileW(name, GENERIC_READ, 0, OPEN_EXISTING, 0);
    EXPECT_NE(handle, INVALID_HANDLE_VALUE);
    CloseHandle(handle);
    std::filesystem::remove_all(dir);
}

TEST(FileStream, SetSizeExtendsAndTruncates) {
    const auto dir = ScratchFolder();
    const String name = StrFromUtf8((dir / "size.bin").string());
    TFileStream f(name, fmCreate);
    f.SetSize(1000);
    EXPECT_EQ(f.GetSize(), 1000);
    f.SetSize(10);
    EXPECT_EQ(f.GetSize(), 10);
    std::filesystem::remove_all(dir);
}

TEST(Stream, CopyFromWholeSourceWhenCountIsZero) {
    TMemoryStream src, dst;
    src.WriteBuffer("abcdef", 6);
    EXPECT_EQ(dst.CopyFrom(src, 0), 6);
    EXPECT_EQ(dst.GetSize(), 6);
    EXPECT_EQ(std::string(static_cast<char*>(dst.Memory()), 6), "abcdef");
}

TEST(List, IndexErrorsRaiseAndOperationsKeepOrder) {
    TList list;
    int a = 0, b = 0, c = 0;
    list.Add(&a);
    list.Add(&c);
    list.Insert(1, &b);
    EXPECT_EQ(list.IndexOf(&b), 1);
    list.Exchange(0, 2);
    EXPECT_EQ(list.First(), &c);
    EXPECT_EQ(list.Remove(&b), 1);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_THROW(list.Get(2), EListError);
    EXPECT_THROW(list.Delete(-1), EListError);
    EXPECT_EQ(list.IndexOf(&b), -1);
}

} // namespace
