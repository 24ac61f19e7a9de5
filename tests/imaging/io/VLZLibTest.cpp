// The compression streams and buffer inflation against python3's zlib and the stream contract.
#include "imaging/io/VLZLib.h"

#include "imaging/core/VLStreams.h"
#include "tests/ExternalTool.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

namespace {

// zlib.compress(b"solvane " * 400 + bytes(range(256)), 9) from python3, between "HDR!" and
// "tail".
const char PythonBlob[] =
    "\x48\x44\x52\x21\x78\xda\x2b\xce\xcf\x29\x4b\xcc\x4b\x55\x28\x1e\xa5\x47\xe9\x51"
    "\x7a\x94\x1e\xa5\x47\xe9\x51\x7a\x94\x1e\xa5\x47\xe9\x51\x7a\x94\xa6\x31\xcd\xc0"
    "\xc8\xc4\xcc\xc2\xca\xc6\xce\xc1\xc9\xc5\xcd\xc3\xcb\xc7\x2f\x20\x28\x24\x2c\x22"
    "\x2a\x26\x2e\x21\x29\x25\x2d\x23\x2b\x27\xaf\xa0\xa8\xa4\xac\xa2\xaa\xa6\xae\xa1"
    "\xa9\xa5\xad\xa3\xab\xa7\x6f\x60\x68\x64\x6c\x62\x6a\x66\x6e\x61\x69\x65\x6d\x63"
    "\x6b\x67\xef\xe0\xe8\xe4\xec\xe2\xea\xe6\xee\xe1\xe9\xe5\xed\xe3\xeb\xe7\x1f\x10"
    "\x18\x14\x1c\x12\x1a\x16\x1e\x11\x19\x15\x1d\x13\x1b\x17\x9f\x90\x98\x94\x9c\x92"
    "\x9a\x96\x9e\x91\x99\x95\x9d\x93\x9b\x97\x5f\x50\x58\x54\x5c\x52\x5a\x56\x5e\x51"
    "\x59\x55\x5d\x53\x5b\x57\xdf\xd0\xd8\xd4\xdc\xd2\xda\xd6\xde\xd1\xd9\xd5\xdd\xd3"
    "\xdb\xd7\x3f\x61\xe2\xa4\xc9\x53\xa6\x4e\x9b\x3e\x63\xe6\xac\xd9\x73\xe6\xce\x9b"
    "\xbf\x60\xe1\xa2\xc5\x4b\x96\x2e\x5b\xbe\x62\xe5\xaa\xd5\x6b\xd6\xae\x5b\xbf\x61"
    "\xe3\xa6\xcd\x5b\xb6\x6e\xdb\xbe\x63\xe7\xae\xdd\x7b\xf6\xee\xdb\x7f\xe0\xe0\xa1"
    "\xc3\x47\x8e\x1e\x3b\x7e\xe2\xe4\xa9\xd3\x67\xce\x9e\x3b\x7f\xe1\xe2\xa5\xcb\x57"
    "\xae\x5e\xbb\x7e\xe3\xe6\xad\xdb\x77\xee\xde\xbb\xff\xe0\xe1\xa3\xc7\x4f\x9e\x3e"
    "\x7b\xfe\xe2\xe5\xab\xd7\x6f\xde\xbe\x7b\xff\xe1\xe3\xa7\xcf\x5f\xbe\x7e\xfb\xfe"
    "\xe3\xe7\xaf\xdf\x7f\xfe\xfe\xfb\x0f\x00\x0c\x03\x55\x4c\x74\x61\x69\x6c";
constexpr int32_t BlobHeader = 4;
constexpr int32_t BlobCompressed = 310;

std::string PythonData() {
    std::string data;
    for (int i = 0; i < 400; ++i)
        data += "solvane ";
    for (int i = 0; i < 256; ++i)
        data += static_cast<char>(i);
    return data;
}

std::string Text(TMemoryStream& s) {
    return std::string(static_cast<const char*>(s.Memory()), static_cast<size_t>(s.GetSize()));
}

std::string Random(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string s(n, '\0');
    // Short runs from a small alphabet: compressible, but not trivially.
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>("abcdefgh"[random() % 8] + (i % 97 == 0 ? 1 : 0));
    return s;
}

std::string Compress(const std::string& data, TZCompressionLevel level, const std::string& head) {
    TMemoryStream out;
    out.WriteBuffer(head.data(), static_cast<int64_t>(head.size()));
    {
        TZCompressionStream z(out, level);
        for (size_t pos = 0; pos < data.size(); pos += 1000)
            z.WriteBuffer(data.data() + pos, std::min<size_t>(1000, data.size() - pos));
        EXPECT_EQ(z.GetPosition(), static_cast<int64_t>(data.size()));
        EXPECT_EQ(z.GetSize(), static_cast<int64_t>(data.size()));
    }
    return Text(out);
}

// The source is left right after the compressed data whatever follows it: the blob's own
// "tail", nothing, exactly one byte (the smallest rest the inflater can hold back), or two.
TEST(ZDecompressionStream, ReadsPythonDataAtAnOffsetAndStopsAfterIt) {
    const std::string expected = PythonData();
    for (const std::string& rest :
         {std::string("tail"), std::string(), std::string("!"), std::string("!?")}) {
        SCOPED_TRACE(rest);
        TMemoryStream source;
        source.WriteBuffer(PythonBlob, BlobHeader + BlobCompressed);
        if (!rest.empty()) source.WriteBuffer(rest.data(), static_cast<int64_t>(rest.size()));
        source.SetPosition(BlobHeader);
        TZDecompressionStream z(source);
        std::string got(expected.size() + 100, '\0');
        EXPECT_EQ(z.Read(got.data(), static_cast<int32_t>(got.size())),
                  static_cast<int32_t>(expected.size()));
        got.resize(expected.size());
        EXPECT_EQ(got, expected);
        EXPECT_EQ(source.GetPosition(), BlobHeader + BlobCompressed);
        std::string left(rest.size(), '\0');
        EXPECT_EQ(source.Read(left.data(), static_cast<int32_t>(left.size()) + 1),
                  static_cast<int32_t>(rest.size()));
        EXPECT_EQ(left, rest);
        EXPECT_EQ(z.GetPosition(), static_cast<int64_t>(expected.size()));
    }
}

TEST(ZDecompressionStream, RestartsWhereTheDataBeganNotAtZero) {
    TMemoryStream source;
    source.WriteBuffer(PythonBlob, sizeof PythonBlob - 1);
    source.SetPosition(BlobHeader);
    TZDecompressionStream z(source);
    char first[16];
    z.ReadBuffer(first, 16);
    // Size asked at position 0 inflates to the end and comes back by restarting.
    z.SetPosition(0);
    EXPECT_EQ(z.GetSize(), static_cast<int64_t>(PythonData().size()));
    EXPECT_EQ(z.GetPosition(), 0);
    char again[16];
    z.ReadBuffer(again, 16);
    EXPECT_EQ(std::memcmp(first, again, 16), 0);
    EXPECT_EQ(std::string(again, 16), "solvane solvane ");
}

TEST(ZDecompressionStream, SeekRules) {
    const std::string data = Random(100000, 1);
    const std::string packed = Compress(data, zcDefault, "");
    TMemoryStream source;
    source.WriteBuffer(packed.data(), static_cast<int64_t>(packed.size()));
    source.SetPosition(0);
    TZDecompressionStream z(source);
    EXPECT_EQ(z.Seek(1000, soCurrent), 1000);
    EXPECT_EQ(z.Seek(20000, soBeginning), 20000);
    char c;
    z.ReadBuffer(&c, 1);
    EXPECT_EQ(c, data[20000]);
    EXPECT_EQ(z.GetPosition(), 20001); // reading the position never raises
    try {
        z.SetPosition(20001); // the position it already has
        FAIL();
    } catch (const EZDecompressionError& e) {
        EXPECT_EQ(e.Message(), u"Invalid ZStream operation!");
    }
    EXPECT_THROW(z.Seek(10, soBeginning), EZDecompressionError); // backwards
    EXPECT_THROW(z.Seek(-1, soCurrent), EZDecompressionError);
    EXPECT_THROW(z.Seek(-1, soEnd), EZDecompressionError);
    // Size away from position 0 cannot come back.
    EXPECT_THROW(z.GetSize(), EZDecompressionError);
    EXPECT_EQ(z.Seek(0, soEnd), static_cast<int64_t>(data.size()));
    EXPECT_THROW(z.Seek(10, soCurrent), EReadError); // past the end: a short read
    EXPECT_THROW(z.Write("x", 1), EZDecompressionError);
}

TEST(ZDecompressionStream, CorruptAndTruncatedData) {
    const std::string packed = Compress(Random(50000, 2), zcMax, "");
    {
        std::string broken = packed;
        broken[10] ^= 0x55;
        broken[11] ^= 0x55;
        TMemoryStream source;
        source.WriteBuffer(broken.data(), static_cast<int64_t>(broken.size()));
        source.SetPosition(0);
        TZDecompressionStream z(source);
        std::string out(60000, '\0');
        try {
            z.Read(out.data(), 60000);
            FAIL() << "corrupt data inflated";
        } catch (const EZDecompressionError& e) {
            EXPECT_EQ(e.Message(), u"data error");
        }
    }
    {
        TMemoryStream source;
        source.WriteBuffer(packed.data(), static_cast<int64_t>(packed.size() / 2));
        source.SetPosition(0);
        TZDecompressionStream z(source);
        std::string out(60000, '\0');
        const int32_t got = z.Read(out.data(), 60000);
        EXPECT_GT(got, 0);
        EXPECT_LT(got, 50000);
    }
    {
        // A header asking for a preset dictionary (FDICT set; 0x78 0xBB checks out).
        TMemoryStream source;
        source.WriteBuffer("\x78\xbb\x00\x00\x00\x01\x4b\x04\x00", 9);
        source.SetPosition(0);
        TZDecompressionStream z(source);
        char out[8];
        EXPECT_THROW(z.Read(out, 8), EZDecompressionError);
    }
}

TEST(ZCompressionStream, EmptyDataStillMakesACompleteStream) {
    TMemoryStream out;
    { TZCompressionStream z(out, zcDefault); }
    EXPECT_GT(out.GetSize(), 0);
    out.SetPosition(0);
    TZDecompressionStream z(out);
    char c;
    EXPECT_EQ(z.Read(&c, 1), 0);
}

TEST(ZCompressionStream, RoundTripAtEveryLevelAfterAHeader) {
    const std::string data = Random(300000, 3);
    for (const TZCompressionLevel level : {zcNone, zcFastest, zcDefault, zcMax}) {
        SCOPED_TRACE(int(level));
        int progress = 0;
        std::string packed;
        {
            TMemoryStream out;
            out.WriteBuffer("HEAD", 4);
            TZCompressionStream z(out, level);
            z.OnProgress = [&](TObject* sender) {
                EXPECT_EQ(sender, &z);
                ++progress;
            };
            z.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
            // Someone else moving the destination does not disturb the compressed data.
            out.SetPosition(0);
            z.Finish();
            packed = Text(out);
        }
        EXPECT_GT(progress, 0);
        EXPECT_EQ(packed.substr(0, 4), "HEAD");
        TMemoryStream in;
        in.WriteBuffer(packed.data(), static_cast<int64_t>(packed.size()));
        in.SetPosition(4);
        TZDecompressionStream z(in);
        std::string back(data.size(), '\0');
        z.ReadBuffer(back.data(), static_cast<int64_t>(back.size()));
        EXPECT_EQ(back, data);
        EXPECT_THROW(z.ReadBuffer(back.data(), 1), EReadError);
    }
}

TEST(ZCompressionStream, ReadingRaisesAndWritingAfterFinishRaises) {
    TMemoryStream out;
    TZCompressionStream z(out, zcFastest);
    char c;
    try {
        z.Read(&c, 1);
        FAIL();
    } catch (const EZCompressionError& e) {
        EXPECT_EQ(e.Message(), u"Invalid ZStream operation!");
    }
    z.Finish();
    EXPECT_THROW(z.Write("x", 1), EZCompressionError);
}

// A destination that refuses to take anything.
class TFullStream : public TMemoryStream {
public:
    int32_t Write(const void*, int32_t) override { return 0; }
};

TEST(ZCompressionStream, FinishReportsAFullDestination) {
    TFullStream out;
    TZCompressionStream z(out, zcNone);
    const std::string data = Random(100, 4);
    z.WriteBuffer(data.data(), 100);
    EXPECT_THROW(z.Finish(), EWriteError);
}

TEST(ZCompressionStream, SameBytesAsPythonAndPythonReadsThem) {
    const std::string data = Random(200000, 5);
    const auto raw = UniqueTempPath("zlib-raw");
    const auto packed = UniqueTempPath("zlib-packed");
    WriteFileBytes(raw, data);
    struct Level {
        TZCompressionLevel ours;
        int zlib;
    };
    for (const Level level : {Level{zcFastest, 1}, Level{zcDefault, -1}, Level{zcMax, 9}}) {
        SCOPED_TRACE(level.zlib);
        const std::string ours = Compress(data, level.ours, "");
        WriteFileBytes(packed, ours);
        std::string verdict;
        const std::string script =
            "import zlib,sys; raw=open(sys.argv[1],'rb').read(); packed=open(sys.argv[2],'rb')"
            ".read(); ok=zlib.decompress(packed)==raw; same=zlib.compress(raw," +
            std::to_string(level.zlib) +
            ")==packed; sys.stdout.write(('ok' if ok else 'bad')+' '+('same' if same else "
            "'differs')+' '+zlib.ZLIB_RUNTIME_VERSION)";
        if (!RunTool("python3 -c \"" + script + "\" '" + raw.string() + "' '" + packed.string() +
                         "'",
                     verdict))
            SV_SKIP_WITHOUT_REFERENCE("python3 with zlib is not available");
        EXPECT_EQ(verdict.substr(0, 2), "ok") << verdict;
        // The same zlib version gives the same bytes.
        if (verdict.find(zlibVersion()) != std::string::npos) {
            EXPECT_NE(verdict.find("same"), std::string::npos) << verdict;
        }
    }
    std::filesystem::remove(raw);
    std::filesystem::remove(packed);
}

TEST(ZDecompressBuffer, PythonDataWithAndWithoutEstimate) {
    const std::string expected = PythonData();
    for (const int32_t estimate : {0, 100, static_cast<int32_t>(expected.size())}) {
        SCOPED_TRACE(estimate);
        void* out = nullptr;
        int32_t bytes = -1;
        if (estimate == 100) {
            // An estimate far below the real size is a wrong expectation, refused cleanly.
            EXPECT_THROW(
                ZDecompressBuffer(PythonBlob + BlobHeader, BlobCompressed, out, estimate, bytes),
                EZDecompressionError);
            EXPECT_EQ(out, nullptr);
            continue;
        }
        ZDecompressBuffer(PythonBlob + BlobHeader, BlobCompressed, out, estimate, bytes);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(bytes, static_cast<int32_t>(expected.size()));
        EXPECT_EQ(std::string(static_cast<char*>(out), bytes), expected);
        std::free(out);
    }
}

TEST(ZDecompressBuffer, RefusesBombsCorruptionAndTruncation) {
    // 2 MB of zeros packs into about 2 KB; with an expectation of 256 KB it is refused.
    const std::string zeros(2 << 20, '\0');
    const std::string packed = Compress(zeros, zcMax, "");
    void* out = reinterpret_cast<void*>(1);
    int32_t bytes = 0;
    EXPECT_THROW(ZDecompressBuffer(packed.data(), static_cast<int32_t>(packed.size()), out,
                                   256 << 10, bytes),
                 EZDecompressionError);
    EXPECT_EQ(out, nullptr);
    // Without an estimate it is within what deflate can produce, and inflates.
    ZDecompressBuffer(packed.data(), static_cast<int32_t>(packed.size()), out, 0, bytes);
    EXPECT_EQ(bytes, 2 << 20);
    std::free(out);
    // Without an estimate a crafted stream cannot claim more than 1032 bytes per input byte:
    // here only a prefix of the data is given, so the inflation stops with an error.
    EXPECT_THROW(ZDecompressBuffer(packed.data(), 64, out, 0, bytes), EZDecompressionError);
    std::string broken = packed;
    broken[2] ^= 0x7F;
    try {
        ZDecompressBuffer(broken.data(), static_cast<int32_t>(broken.size()), out, 0, bytes);
        FAIL();
    } catch (const EZDecompressionError& e) {
        EXPECT_EQ(e.Message(), u"data error");
    }
    const std::string small = Compress("hello hello hello", zcDefault, "");
    try {
        ZDecompressBuffer(small.data(), static_cast<int32_t>(small.size()) - 6, out, 0, bytes);
        FAIL();
    } catch (const EZDecompressionError& e) {
        EXPECT_EQ(e.Message(), u"buffer error");
    }
}

TEST(ZChecks, TextsOfTheResultCodes) {
    EXPECT_EQ(ZCompressCheck(0), 0);
    EXPECT_EQ(ZDecompressCheck(2), 2);
    struct Case {
        int32_t code;
        const char16_t* text;
    };
    const Case cases[] = {{-1, u"file error"},   {-2, u"stream error"},
                          {-3, u"data error"},   {-4, u"insufficient memory"},
                          {-5, u"buffer error"}, {-6, u"incompatible version"}};
    for (const Case& c : cases) {
        try {
            ZCompressCheck(c.code);
            FAIL();
        } catch (const EZCompressionError& e) {
            EXPECT_EQ(e.Message(), c.text);
        }
        try {
            ZDecompressCheck(c.code);
            FAIL();
        } catch (const EZDecompressionError& e) {
            EXPECT_EQ(e.Message(), c.text);
        }
    }
    EXPECT_THROW(ZDecompressCheck(-3), EZLibError);
}

} // namespace
