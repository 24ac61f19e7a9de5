// A private temporary folder for the library's temporary files during one test.
#pragma once

#include "imaging/core/VLDefs.h"
#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <filesystem>

class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Unique per run: two runs of one test on a machine must not share (and delete) it.
        Folder = UniqueTempPath(std::string("core-") +
                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(Folder);
        SavedFolder = DefaultTempFolder;
        SavedMinFileSize = DefaultMinFileSize;
        DefaultTempFolder = StrFromUtf8(Folder.string() + "/");
    }
    void TearDown() override {
        DefaultTempFolder = SavedFolder;
        DefaultMinFileSize = SavedMinFileSize;
        std::filesystem::remove_all(Folder);
    }
    bool FolderIsEmpty() const { return std::filesystem::is_empty(Folder); }

    std::filesystem::path Folder;
    String SavedFolder;
    int64_t SavedMinFileSize = -1;
};

// Name is Folder + "/" + Prefix + "-" + eight upper-case hexadecimal digits + ".tmp".
inline bool IsTempFileName(const std::string& Name, const std::string& Folder,
                           const std::string& Prefix) {
    const std::string head = Folder + "/" + Prefix + "-";
    if (Name.size() != head.size() + 12 || Name.compare(0, head.size(), head) != 0 ||
        Name.compare(Name.size() - 4, 4, ".tmp") != 0)
        return false;
    for (size_t i = head.size(); i < head.size() + 8; ++i)
        if (!((Name[i] >= '0' && Name[i] <= '9') || (Name[i] >= 'A' && Name[i] <= 'F')))
            return false;
    return true;
}
