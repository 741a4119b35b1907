#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;
using namespace tarvo::testsupport;

namespace {

// Sets TARVO_UPDATE_GOLDENS for the lifetime of the object and restores it afterwards, so
// a developer's own setting does not leak into or out of these tests.
class UpdateGoldensVariable {
  public:
    explicit UpdateGoldensVariable(const char* value) {
        if (const char* old = std::getenv(kName)) m_previous = old;
        if (value)
            ::setenv(kName, value, 1);
        else
            ::unsetenv(kName);
    }
    ~UpdateGoldensVariable() {
        if (m_previous)
            ::setenv(kName, m_previous->c_str(), 1);
        else
            ::unsetenv(kName);
    }

  private:
    static constexpr const char* kName = "TARVO_UPDATE_GOLDENS";
    std::optional<std::string> m_previous;
};

}  // namespace

TEST(TempDir, IsANewEmptyFolderThatIsRemovedWithItsContents) {
    fs::path kept;
    {
        TempDir dir("tarvo-support");
        kept = dir.Path();
        ASSERT_TRUE(fs::is_directory(kept));
        EXPECT_TRUE(fs::is_empty(kept));
        EXPECT_EQ(kept.filename().string().rfind("tarvo-support-", 0), 0u);
        fs::create_directories(kept / "inner");
        std::ofstream(dir.File("inner/file.txt")) << "x";
        EXPECT_EQ(dir.File("a.txt"), (kept / "a.txt").string());
    }
    EXPECT_FALSE(fs::exists(kept));
}

TEST(TempDir, TwoFoldersWithOnePrefixAreDistinct) {
    TempDir first("tarvo-support");
    TempDir second("tarvo-support");
    EXPECT_NE(first.Path(), second.Path());
}

TEST(ReadText, GivesTheFileByteForByteAndNothingForAMissingFile) {
    TempDir dir;
    const std::string bytes("line\r\n\0tail", 11);
    std::ofstream(dir.File("bytes.bin"), std::ios::binary) << bytes;
    EXPECT_EQ(ReadText(dir.File("bytes.bin")), bytes);
    EXPECT_EQ(ReadText(dir.File("absent.txt")), "");
}

TEST(UpdateGoldens, IsOnExactlyForTheValueOne) {
    {
        UpdateGoldensVariable set("1");
        EXPECT_TRUE(UpdateGoldens());
    }
    for (const char* value : {"", "0", "10", "yes", "true", " 1"}) {
        UpdateGoldensVariable set(value);
        EXPECT_FALSE(UpdateGoldens()) << "TARVO_UPDATE_GOLDENS=\"" << value << "\"";
    }
    UpdateGoldensVariable unset(nullptr);
    EXPECT_FALSE(UpdateGoldens());
}
