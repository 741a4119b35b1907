#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <string>

#include "platform/win/FileIO.h"
#include "tests/support/TempDir.h"

using tarvo::testsupport::TempDir;

namespace {

void WriteText(const std::string& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

}  // namespace

TEST(ReadWholeFile, ReadsEveryByte) {
    TempDir dir("tarvo-fileio");
    const std::string bytes("first\r\n\0second", 14);
    WriteText(dir.File("a.bin"), bytes);
    std::string read = "stale";
    ASSERT_EQ(ReadWholeFile(dir.File("a.bin"), read), S_OK);
    EXPECT_EQ(read, bytes);
}

TEST(ReadWholeFile, ReadsMoreThanOneChunk) {
    TempDir dir("tarvo-fileio");
    std::string bytes;
    for (int i = 0; i < 200000; ++i) bytes.push_back(static_cast<char>('a' + i % 26));
    WriteText(dir.File("big.txt"), bytes);
    std::string read;
    ASSERT_EQ(ReadWholeFile(dir.File("big.txt"), read), S_OK);
    EXPECT_EQ(read, bytes);
}

TEST(ReadWholeFile, StopsAtTheLimit) {
    TempDir dir("tarvo-fileio");
    WriteText(dir.File("a.txt"), "0123456789");
    std::string read;
    ASSERT_EQ(ReadWholeFile(dir.File("a.txt"), read, 4), S_OK);
    EXPECT_EQ(read, "0123");
    ASSERT_EQ(ReadWholeFile(dir.File("a.txt"), read, 0), S_OK);
    EXPECT_EQ(read, "");
    ASSERT_EQ(ReadWholeFile(dir.File("a.txt"), read, 100), S_OK);
    EXPECT_EQ(read, "0123456789");
}

TEST(ReadWholeFile, AMissingFileIsNotFoundWithTheSystemReasonInErrno) {
    TempDir dir("tarvo-fileio");
    std::string read = "stale";
    errno = 0;
    EXPECT_EQ(ReadWholeFile(dir.File("absent.txt"), read),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(read, "");
}

TEST(ReadWholeFile, APathThroughAFileCannotBeOpened) {
    TempDir dir("tarvo-fileio");
    WriteText(dir.File("plain"), "x");
    std::string read;
    EXPECT_EQ(ReadWholeFile(dir.File("plain") + "/inner.txt", read), E_FAIL);
    EXPECT_EQ(errno, ENOTDIR);
}

TEST(ReadWholeFile, ADirectoryOpensButCannotBeRead) {
    TempDir dir("tarvo-fileio");
    std::string read = "stale";
    EXPECT_EQ(ReadWholeFile(dir.Path().string(), read), HRESULT_FROM_WIN32(ERROR_READ_FAULT));
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(read, "");
}
