#include "folders/folder_walk.h"

#include <gtest/gtest.h>

namespace {

struct GuidCase {
  const char* name;
  bool guidShaped;
};

class GuidShapedNameTest : public ::testing::TestWithParam<GuidCase> {};

TEST_P(GuidShapedNameTest, TestsTheBraceAndThreeHyphensOnly) {
  EXPECT_EQ(IsGuidShapedName(GetParam().name), GetParam().guidShaped) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, GuidShapedNameTest,
    ::testing::Values(GuidCase{"{6F1A0C2B-9D3E-4A7B-8C5D-1E2F3A4B5C6D}", true},
                      // Neither the digits, the fourth hyphen nor the closing brace count.
                      GuidCase{"{abcdefgh-ijkl-mnop-qrst", true},
                      GuidCase{"{________-____-____-", true},  // exactly 20 characters
                      GuidCase{"{6F1A0C2B-9D3E-4A7B", false},  // 19: position 19 is missing
                      GuidCase{"{x", false}, GuidCase{"", false}, GuidCase{"{", false},
                      GuidCase{"6F1A0C2B-9D3E-4A7B-8C5D-1E2F3A4B5C6D}", false},
                      GuidCase{"[6F1A0C2B-9D3E-4A7B-8C5D-1E2F3A4B5C6D]", false},
                      GuidCase{"{6F1A0C2B_9D3E-4A7B-8C5D-1E2F3A4B5C6D}", false},
                      GuidCase{"{6F1A0C2B-9D3E_4A7B-8C5D-1E2F3A4B5C6D}", false},
                      GuidCase{"{6F1A0C2B-9D3E-4A7B_8C5D-1E2F3A4B5C6D}", false},
                      // Shifted by one: the hyphens sit at 8, 13 and 18.
                      GuidCase{"{6F1A0C2-9D3E-4A7B-8C5D-1E2F3A4B5C6D}", false}));

}  // namespace
