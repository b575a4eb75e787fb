#include "folders/reclaimable.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "folder_fixture.h"

namespace {

using ::testing::IsEmpty;

constexpr const char* kGuid = "{6F1A0C2B-9D3E-4A7B-8C5D-1E2F3A4B5C6D}";
constexpr std::uint64_t kKB = 1024;

class ReclaimableTest : public FolderTest {
 protected:
  void TearDown() override {
    EXPECT_THAT(fake_.Changes(), IsEmpty()) << "the estimate only reads";
    FolderTest::TearDown();
  }
};

struct BytesCase {
  std::uint64_t bytes;
  DWORD kilobytes;
};

class ReclaimableBytesTest : public ReclaimableTest,
                             public ::testing::WithParamInterface<BytesCase> {};

TEST_P(ReclaimableBytesTest, CountsWholeKilobytesAndStopsAtTheTop) {
  fake_.AddFile(Temp("file"), GetParam().bytes);
  EXPECT_EQ(GetReclaimableKB(fake_), GetParam().kilobytes);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ReclaimableBytesTest,
    ::testing::Values(BytesCase{1023, 0}, BytesCase{1024, 1}, BytesCase{2047, 1},
                      BytesCase{2048, 2},
                      BytesCase{5ull << 30, 5242880},  // 5 GB in full, not modulo 4 GB
                      BytesCase{0xFFFFFFFFull * kKB, 0xFFFFFFFFu},
                      BytesCase{0x100000000ull * kKB, 0xFFFFFFFFu},  // would wrap to 0
                      BytesCase{5ull << 40, 0xFFFFFFFFu}));

TEST_F(ReclaimableTest, TermsAddUpPastFourGigabytes) {
  fake_.AddFile("C:\\Windows\\a.tmp", 3ull << 30);
  fake_.AddFile(Temp("b"), 3ull << 30);
  fake_.AddFile("C:\\Windows\\$hf\\c", 3ull << 30);
  EXPECT_EQ(GetReclaimableKB(fake_), 9u << 20);
}

TEST_F(ReclaimableTest, CountsWindowsTmpFilesAndDollarFoldersDirectlyThere) {
  // Each candidate has its own power of two in kilobytes, so the sum tells which counted.
  fake_.AddFile("C:\\Windows\\a.tmp", 1 * kKB);
  fake_.AddFile("C:\\Windows\\sub\\b.tmp", 2 * kKB);
  fake_.AddFile("C:\\Windows\\x.tmp\\inside", 4 * kKB);
  fake_.AddFile("C:\\Windows\\$hf_mig$\\f", 8 * kKB);
  fake_.AddFile("C:\\Windows\\$\\g\\h", 16 * kKB);
  fake_.AddFile("C:\\Windows\\$log", 32 * kKB);
  fake_.AddFile("C:\\Windows\\x$\\i", 64 * kKB);
  fake_.AddFile("C:\\Windows\\B.TMP", 128 * kKB);  // names compare case-sensitively
  EXPECT_EQ(GetReclaimableKB(fake_), 1u + 8u + 16u);
}

TEST_F(ReclaimableTest, GuidFoldersAreLeftOutAtTheTopOfTheTemporaryFolderOnly) {
  fake_.AddFile(Temp(kGuid) + "\\top", 1 * kKB);
  fake_.AddFile(Temp("sub\\") + kGuid + "\\deeper", 2 * kKB);
  fake_.AddFile(Temp(kGuid) + "-file", 4 * kKB);
  fake_.AddFile(std::string("C:\\Windows\\$hf\\") + kGuid + "\\inHotfix", 8 * kKB);
  EXPECT_EQ(GetReclaimableKB(fake_), 2u + 4u + 8u);
}

TEST_F(ReclaimableTest, FileInUseIsCountedAll) {
  fake_.AddFile("C:\\Windows\\$hf\\held", 1 * kKB);
  fake_.AddFile("C:\\Windows\\$hf\\after", 2 * kKB);
  fake_.SetInUse("C:\\Windows\\$hf\\held");
  EXPECT_EQ(GetReclaimableKB(fake_), 3u);
}

TEST_F(ReclaimableTest, HotfixFolderTooLongToNameIsNotCounted) {
  // "C:\Windows\" is 11 characters; a full path must stay under 150.
  fake_.AddFile("C:\\Windows\\$" + std::string(137, 'k') + "\\f", 1 * kKB);  // 149
  fake_.AddFile("C:\\Windows\\$" + std::string(138, 'n') + "\\f", 2 * kKB);  // 150
  EXPECT_EQ(GetReclaimableKB(fake_), 1u);
}

// Texts that cannot be used are tried, with the cleaning pass, in
// tests/app/run_cleanup_test.cpp; this is the longest that can.
TEST_F(ReclaimableTest, TemporaryFolderOfOneHundredFortyNineCharactersIsCounted) {
  const std::string temp = "C:\\" + std::string(145, 't');  // with its backslash: 149
  fake_.AddFile(temp + "\\f", 1 * kKB);
  fake_.SetTempPath(temp + "\\");
  EXPECT_EQ(GetReclaimableKB(fake_), 1u);
}

}  // namespace
