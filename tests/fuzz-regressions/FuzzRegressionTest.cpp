// Every minimised input of a fuzzer's finding (tests/fuzz-regressions/TARGET-FAULT.bin) through
// the target that found it, under the sanitizers, within the memory limit the fuzzers run with;
// and the targets' list against the format registry, so that no reader goes without a target.
#include "fuzz/FuzzTargets.h"

#include "imaging/io/VLFileFormats.h"
#include "imaging/io/VistrelIO.h"
#include "tests/PeakMemory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The fuzzers' -malloc_limit_mb.
constexpr int64_t MemoryLimit = int64_t{1024} << 20;

class FuzzLibrary : public testing::Environment {
public:
    void SetUp() override { StartFuzzLibrary(); }
    void TearDown() override { FinalizeLibrary(); }
};
testing::Environment* const Library = testing::AddGlobalTestEnvironment(new FuzzLibrary);

std::vector<std::string> Fixtures() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs::path(SV_TESTS_DIR) / "fuzz-regressions"))
        if (entry.path().extension() == ".bin") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class FuzzRegression : public testing::TestWithParam<std::string> {};

TEST_P(FuzzRegression, RunsWithinTheLimits) {
    const std::string name = GetParam();
    const TFuzzTarget target = FindFuzzTarget(name.substr(0, name.find('-')));
    ASSERT_NE(target, nullptr) << "the file name does not begin with a target's name";
    std::ifstream in(fs::path(SV_TESTS_DIR) / "fuzz-regressions" / name, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    // A block of exactly the input's size, so that a read past its end is reported.
    const auto input = std::make_unique<uint8_t[]>(std::max<size_t>(bytes.size(), 1));
    std::copy(bytes.begin(), bytes.end(), input.get());
    const int64_t before = PeakAddressSpaceBytes();
    target(input.get(), bytes.size());
    EXPECT_LT(PeakAddressSpaceBytes() - before, MemoryLimit);
}

// The folder holds no findings while every past one is mended and none is new.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FuzzRegression);
INSTANTIATE_TEST_SUITE_P(Findings, FuzzRegression, testing::ValuesIn(Fixtures()),
                         [](const testing::TestParamInfo<std::string>& Info) {
                             std::string name = fs::path(Info.param).stem().string();
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// Target name to the format ids of its line in fuzz/targets.txt.
std::map<std::string, std::set<TVLFileFormatId>> TargetList() {
    std::ifstream in(fs::path(SV_TESTS_DIR) / ".." / "fuzz" / "targets.txt");
    std::map<std::string, std::set<TVLFileFormatId>> targets;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string name, dictionary;
        fields >> name >> dictionary;
        auto& ids = targets[name];
        for (TVLFileFormatId id = 0; fields >> id;)
            ids.insert(id);
    }
    return targets;
}

// A format has a reader when loading by its id reaches one: the reader records the format it
// read, while a format without one is refused before anything is read.
bool HasReader(TVLFileFormatId FormatId) {
    TVistrelIO io(nullptr);
    TMemoryStream empty;
    io.IOParams().FileType = 0;
    io.LoadFromStreamFormat(empty, FormatId);
    return io.IOParams().FileType == FormatId;
}

TEST(FuzzTargetList, NamesEveryFormatWithAReader) {
    const auto targets = TargetList();
    ASSERT_FALSE(targets.empty());
    std::set<TVLFileFormatId> covered;
    for (const auto& [name, ids] : targets) {
        EXPECT_NE(FindFuzzTarget(name), nullptr) << "fuzz/targets.txt names no target " << name;
        covered.insert(ids.begin(), ids.end());
    }
    int32_t readers = 0;
    for (int32_t i = 0; i < GetFileFormatCount(); ++i) {
        const TVLFileFormatInfo& row = *GetFileFormatInfo(i);
        if (!HasReader(row.FormatId)) continue;
        ++readers;
        EXPECT_TRUE(covered.count(row.FormatId))
            << "format " << row.FormatId << " (" << Utf8FromStr(row.DisplayName)
            << ") has a reader but no fuzz target in fuzz/targets.txt";
    }
    EXPECT_GE(readers, 7);
}

// The check above sees a reader that lands through the registry's own rows too.
TEST(FuzzTargetList, SeesAFormatRegisteredWithAReader) {
    auto row = std::make_unique<TVLFileFormatInfo>();
    row->FormatId = 200;
    row->Reader = [](TStream&, TVLBitmap&, TIOParamsVals&, TVLProgressRecord&, bool) {};
    RegisterFileFormat(std::move(row));
    EXPECT_TRUE(HasReader(200));
    UnregisterFileFormat(200);
    EXPECT_FALSE(HasReader(200));
    EXPECT_FALSE(HasReader(ffPS));
}

} // namespace
