// The library's streams against the stream contract, the file-open helpers and the string,
// folder and clipboard helpers.
#include "imaging/core/VLStreams.h"
#include "tests/ExternalTool.h"

#include "platform/rtl/WinApi.h"
#include "platform/ui/Clipboard.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>
#include <vector>

namespace {

std::filesystem::path Scratch() {
    auto dir = UniqueTempPath("vlstreams");
    std::filesystem::create_directories(dir);
    return dir;
}

String Name(const std::filesystem::path& p) {
    return StrFromUtf8(p.string());
}

std::vector<uint8_t> Bytes(int n) {
    std::vector<uint8_t> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 13 + 7);
    return v;
}

TEST(NulStream, CountsWithoutStoring) {
    TNulStream s;
    char buf[16] = {};
    EXPECT_EQ(s.Write(buf, 10), 10);
    EXPECT_EQ(s.Seek(4, soBeginning), 4);
    EXPECT_EQ(s.Write(buf, 2), 2);
    EXPECT_EQ(s.GetPosition(), 6);
    EXPECT_EQ(s.GetSize(), 10);
    EXPECT_EQ(s.Seek(0, soEnd), 10);
    EXPECT_EQ(s.Seek(-3, soEnd), 7);
    // Seeking forward from the start or the current position grows the size; from the end not.
    EXPECT_EQ(s.Seek(20, soBeginning), 20);
    EXPECT_EQ(s.GetSize(), 20);
    EXPECT_EQ(s.Seek(5, soEnd), 25);
    EXPECT_EQ(s.Seek(0, soEnd), 20);
    EXPECT_EQ(s.Read(buf, 4), 4);
    EXPECT_EQ(s.GetSize(), 24);
}

TEST(VLMemStream, ReadsTheCallersBlockAndNeverWrites) {
    auto data = Bytes(10);
    TVLMemStream s(data.data(), 10);
    uint8_t buf[16];
    EXPECT_EQ(s.Read(buf, 4), 4);
    EXPECT_EQ(buf[3], data[3]);
    EXPECT_EQ(s.Write(buf, 4), 0);
    EXPECT_THROW(s.WriteBuffer(buf, 1), EWriteError);
    s.SetSize(2);
    EXPECT_EQ(s.GetSize(), 10);
    EXPECT_EQ(s.Seek(-2, soEnd), 8);
    EXPECT_EQ(s.Read(buf, 16), 2);
    EXPECT_EQ(buf[1], data[9]);
    EXPECT_EQ(s.Read(buf, 1), 0);
    s.SetPosition(9);
    EXPECT_THROW(s.ReadBuffer(buf, 2), EReadError);
    EXPECT_EQ(data, Bytes(10)); // untouched
}

TEST(VLBufferedReadStream, RelativeBaseAndEndRelativeSeek) {
    const auto data = Bytes(1000);
    TMemoryStream source;
    source.WriteBuffer(data.data(), 1000);
    for (const int32_t bufferSize : {1, 7, 1024, 8192}) {
        SCOPED_TRACE(bufferSize);
        source.SetPosition(100);
        TVLBufferedReadStream s(source, bufferSize, true);
        EXPECT_EQ(s.GetPosition(), 0);
        EXPECT_EQ(s.GetSize(), 900);
        EXPECT_EQ(s.Seek(-26, soEnd), 874);
        uint8_t buf[64];
        EXPECT_EQ(s.Read(buf, 64), 26);
        EXPECT_TRUE(std::equal(buf, buf + 26, data.end() - 26));
        EXPECT_EQ(s.Read(buf, 64), 0);
        // Back to the base: the byte at 100 of the source.
        s.SetPosition(0);
        s.ReadBuffer(buf, 1);
        EXPECT_EQ(buf[0], data[100]);
    }
}

TEST(VLBufferedReadStream, AbsoluteReadsAcrossRefillsMatchTheSource) {
    const auto data = Bytes(5000);
    TMemoryStream source;
    source.WriteBuffer(data.data(), 5000);
    source.SetPosition(300);
    TVLBufferedReadStream s(source, 1024, false);
    EXPECT_EQ(s.GetPosition(), 300);
    EXPECT_EQ(s.GetSize(), 5000);
    std::vector<uint8_t> got(5000);
    s.SetPosition(0);
    // Single bytes, then a block spanning several buffers, then the rest.
    s.ReadBuffer(got.data(), 1);
    s.ReadBuffer(got.data() + 1, 1);
    s.ReadBuffer(got.data() + 2, 3000);
    EXPECT_EQ(s.Read(got.data() + 3002, 4000), 1998);
    EXPECT_EQ(got, data);
    EXPECT_EQ(s.Seek(10, soCurrent), 5010);
    EXPECT_EQ(s.Read(got.data(), 1), 0);
    EXPECT_THROW(s.ReadBuffer(got.data(), 1), EReadError);
}

TEST(VLBufferedReadStream, WritingRaises) {
    TMemoryStream source;
    TVLBufferedReadStream s(source, 16, false);
    try {
        s.Write("x", 1);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), u"TVLBufferedReadStream cannot write!");
    }
}

TEST(VLWideFileStream, CreatesOpensAndReportsFailures) {
    const auto dir = Scratch();
    const String name = Name(dir / "d\xC3\xA9j\xC3\xA0.bin");
    {
        TVLWideFileStream out(name, fmCreate);
        out.WriteBuffer("hello", 5);
    }
    {
        TVLWideFileStream in(name, fmOpenRead | fmShareDenyWrite);
        char buf[5];
        in.ReadBuffer(buf, 5);
        EXPECT_EQ(std::string(buf, 5), "hello");
        EXPECT_EQ(in.Seek(-2, soEnd), 3);
        // Opened for reading only.
        EXPECT_EQ(in.Write("x", 1), 0);
    }
    {
        TVLWideFileStream rw(name, fmOpenReadWrite);
        rw.Seek(0, soEnd);
        rw.WriteBuffer("!", 1);
        EXPECT_EQ(rw.GetSize(), 6);
    }
    const String missing = Name(dir / "missing.bin");
    try {
        TVLWideFileStream in(missing, fmOpenRead);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(),
                  u"Cannot open file \"" + missing + u"\". " + SysErrorMessage(ENOENT));
    }
    const String inMissingFolder = Name(dir / "no" / "file.bin");
    try {
        TVLWideFileStream out(inMissingFolder, fmCreate);
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message().rfind(u"Cannot create file \"" + inMissingFolder + u"\". ", 0), 0u);
    }
    // A folder is not a file, even for reading.
    EXPECT_THROW(TVLWideFileStream(Name(dir), fmOpenRead), EFOpenError);
    std::filesystem::remove_all(dir);
}

TEST(OpenFileWide, ModeBits) {
    const auto dir = Scratch();
    const String name = Name(dir / "f.bin");
    THandle h = CreateFileForWriting(name);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    struct Case {
        uint8_t mode;
        bool opens;
    };
    // Access 3 and sharing above 0x40 are undefined and refused before the file is touched.
    const Case cases[] = {{0x00, true}, {0x01, true},  {0x02, true},  {0x03, false},
                          {0x10, true}, {0x20, true},  {0x30, true},  {0x40, true},
                          {0x42, true}, {0x50, false}, {0x70, false}, {0xF2, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.mode));
        h = OpenFileWide(name, c.mode);
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens);
        CloseHandle(h);
    }
    EXPECT_EQ(OpenFileWide(Name(dir / "missing"), 0x50), INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenFileWide(Name(dir / "missing"), 0x00), INVALID_HANDLE_VALUE);
    std::filesystem::remove_all(dir);
}

// A stream that takes at most Room bytes.
class TShortStream : public TMemoryStream {
public:
    explicit TShortStream(int32_t Room) : FRoom(Room) {}
    int32_t Write(const void* Buffer, int32_t Count) override {
        const int32_t n = std::min(Count, FRoom);
        FRoom -= n;
        return TMemoryStream::Write(Buffer, n);
    }

private:
    int32_t FRoom;
};

TEST(SafeStreamWrite, ShortWriteSetsTheFlagAndNothingClearsIt) {
    TShortStream s(6);
    bool aborting = false;
    SafeStreamWrite(s, aborting, "abcd", 4);
    EXPECT_FALSE(aborting);
    SafeStreamWrite(s, aborting, "efgh", 4);
    EXPECT_TRUE(aborting);
    SafeStreamWrite(s, aborting, "", 0);
    EXPECT_TRUE(aborting);
}

TEST(AnsiStringInStream, RoundTripAndLayout) {
    TMemoryStream s;
    const AnsiString texts[] = {"", "a", std::string("nul\0inside", 10), std::string(70000, 'x')};
    for (const AnsiString& t : texts)
        SaveAnsiStringToStream(s, t);
    const auto* raw = static_cast<const uint8_t*>(s.Memory());
    EXPECT_EQ(raw[4], 1); // little-endian length of "a" after the empty string's 4 bytes
    EXPECT_EQ(raw[5], 0);
    EXPECT_EQ(raw[8], 'a');
    s.SetPosition(0);
    for (const AnsiString& t : texts) {
        AnsiString back = "old";
        LoadAnsiStringFromStream(s, back);
        EXPECT_EQ(back, t);
    }
}

TEST(AnsiStringInStream, ForgedLengthsAreRefused) {
    struct Case {
        const char* name;
        uint8_t prefix[4];
        const char* body;
    };
    const Case cases[] = {{"negative", {0xFF, 0xFF, 0xFF, 0xFF}, "abc"},
                          {"one past the end", {4, 0, 0, 0}, "abc"},
                          {"two gigabytes", {0xFF, 0xFF, 0xFF, 0x7F}, "abc"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TMemoryStream s;
        s.WriteBuffer(c.prefix, 4);
        s.WriteBuffer(c.body, 3);
        s.SetPosition(0);
        AnsiString text = "kept";
        EXPECT_THROW(LoadAnsiStringFromStream(s, text), EReadError);
        EXPECT_EQ(text, "kept");
    }
    TMemoryStream truncated;
    truncated.WriteBuffer("\x01\x00", 2);
    truncated.SetPosition(0);
    AnsiString text;
    EXPECT_THROW(LoadAnsiStringFromStream(truncated, text), EReadError);
}

TEST(CreateDirectoryPath, CreatesEveryMissingLevel) {
    const auto dir = Scratch();
    CreateDirectoryPath(Name(dir / "a" / "b" / "c") + u"/");
    EXPECT_TRUE(FolderExists(Name(dir / "a" / "b" / "c")));
    // Existing folders and the root are left alone.
    CreateDirectoryPath(Name(dir / "a"));
    CreateDirectoryPath(u"/");
    EXPECT_TRUE(FolderExists(Name(dir / "a" / "b")));
    // A failure to create is not reported: here a file stands in the way.
    std::ofstream(dir / "file").put('x');
    EXPECT_NO_THROW(CreateDirectoryPath(Name(dir / "file" / "sub")));
    EXPECT_FALSE(FolderExists(Name(dir / "file" / "sub")));
    EXPECT_FALSE(FolderExists(Name(dir / "file")));
    try {
        CreateDirectoryPath(u"");
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), u"Cannot Create Directory");
    }
    std::filesystem::remove_all(dir);
}

TEST(CreateDirectoryPath, RelativePath) {
    const auto dir = Scratch();
    const auto saved = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    CreateDirectoryPath(u"x/y");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "x" / "y"));
    std::filesystem::current_path(saved);
    std::filesystem::remove_all(dir);
}

TEST(OpenClipboardRetry, OpensOrGivesUpWhileAnotherThreadHoldsIt) {
    ASSERT_TRUE(OpenClipboardRetry());
    EXPECT_TRUE(CloseClipboard());
    std::promise<bool> opened;
    std::promise<void> release;
    std::thread holder([&] {
        opened.set_value(OpenClipboard());
        release.get_future().wait();
        CloseClipboard();
    });
    ASSERT_TRUE(opened.get_future().get());
    EXPECT_FALSE(OpenClipboardRetry());
    release.set_value();
    holder.join();
    EXPECT_TRUE(OpenClipboardRetry());
    EXPECT_TRUE(CloseClipboard());
}

} // namespace
