#include "preview/preview_format.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <sstream>
#include <string>
#include <vector>

#include "app/settings.h"
#include "support/fake_platform.h"
#include "sample_machine.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool HasLine(const std::string& text, const std::string& line) {
  for (const std::string& l : Lines(text)) {
    if (l == line) return true;
  }
  return false;
}

std::string Csv(FakePlatform& fake) {
  std::ostringstream out;
  WritePreviewCsv(out, BuildPreviewReport(fake));
  return out.str();
}

TEST(CsvField, QuotesOnlyWhatNeedsIt) {
  struct Case {
    const char* text;
    const char* field;
  };
  const Case cases[] = {
      {"C:\\Windows\\a.tmp", "C:\\Windows\\a.tmp"},
      {"", ""},
      {"a,b.tmp", "\"a,b.tmp\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"\"", "\"\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {"cr\r", "\"cr\r\""},
      {" padded ", "\" padded \""},
      {"in side", "in side"},
  };
  for (const Case& c : cases) EXPECT_EQ(CsvField(c.text), c.field) << c.text;
}

TEST(PreviewCsv, RowsSayWhatHappensToEachItem) {
  FakePlatform fake;
  sample::Build(fake);
  const std::string csv = Csv(fake);
  EXPECT_EQ(Lines(csv).front(), kPreviewCsvHeader);
  EXPECT_EQ(Lines(csv).size(), BuildPreviewReport(fake).items.size() + 1);
  const std::string temp = std::string(sample::kTemp) + "\\";
  const std::string uninstall = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  for (const std::string& row : {
           std::string("tmp-file,delete,file,5120,\"C:\\Windows\\a,b.tmp\",,"),
           "temp-entry,delete,file,10240,\"" + temp + "report \"\"final\"\", v2.txt\",,",
           "temp-entry,keep,folder,0," + temp + sample::kKeptGuid + ",,",
           "temp-entry,delete,link,0," + temp + "linked,,",
           "hotfix-folder,delete,folder,6291456,C:\\Windows\\$NtUninstallKB123456$," + uninstall +
               "KB123456,yes",
           "hotfix-folder,delete,folder,2097152,C:\\Windows\\$NtUninstallKB654321$," + uninstall +
               "KB654321,no",
           std::string("hotfix-folder,delete,folder,3145728,C:\\Windows\\$hf_mig$,,"),
           "hotfix-folder,delete,link,0,C:\\Windows\\$NtUninstallKB777$," + uninstall + "KB777,yes",
       }) {
    EXPECT_TRUE(HasLine(csv, row)) << row << "\nnot in:\n" << csv;
  }
}

TEST(PreviewText, ShowsKeyGateEstimateAndItems) {
  struct Case {
    const char* what;
    void (*arrange)(FakePlatform&);
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"the sample",
       [](FakePlatform&) {},
       {
           "Settings key HKLM\\SOFTWARE\\Brisca\\Sweepwell",
           "  ExecuteDate  \"2026/12/5\"",
           "  Limit        20 MB",
           "Today is 2026/12/6. A start without an argument would pass the gate (no "
           "run recorded today) and store today's date.",
           "        3777 KB  *.tmp files directly in C:\\Windows (3867648 bytes)",
           "        6144 KB    C:\\Windows\\$NtUninstallKB123456$ (6291456 bytes)",
           "Threshold: Limit 20 MB = 20480 KB. The estimate reaches it: a pass would "
           "clean.",
           "So a start today without an argument would clean: it would delete what "
           "follows.",
           "  delete  file    C:\\Windows\\locked.tmp  (716800 bytes)",
           "  keep    folder  " + std::string(sample::kTemp) + "\\" + sample::kKeptGuid +
               "  (GUID-shaped name)",
           "  delete  link    " + std::string(sample::kTemp) +
               "\\linked  (removed as a link, never followed)",
           "                  and the uninstall entry HKLM\\SOFTWARE\\Microsoft\\"
           "Windows\\CurrentVersion\\Uninstall\\KB654321: it does not exist",
           "                  no uninstall entry: the name holds no KB number",
       }},
      {"empty key",
       [](FakePlatform& f) {
         f.RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsKey);
         f.AddRegKey(HKEY_LOCAL_MACHINE, kSettingsKey);
       },
       {"  ExecuteDate  missing", "  Limit        missing: 20 MB is used"}},
      {"long date",
       [](FakePlatform& f) {
         f.SetRegString(HKEY_LOCAL_MACHINE, kSettingsKey, kExecuteDateValue, std::string(299, '7'));
       },
       {"  ExecuteDate  longer than 200 bytes: counts as another day"}},
      {"no key",
       [](FakePlatform& f) { f.RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsKey); },
       {"  the key does not exist",
        "Today is 2026/12/6. A start without an argument would pass the gate as a first start, "
        "making the key with today's date and Limit 20."}},
      {"same day",
       [](FakePlatform& f) {
         f.SetRegString(HKEY_LOCAL_MACHINE, kSettingsKey, kExecuteDateValue, "2026/12/6");
       },
       {"Today is 2026/12/6. A start without an argument would end at the gate: a run already "
        "happened today. A start with a non-zero argument (sweepwell.exe 1) would pass it.",
        "So a start today without an argument would end at the gate and delete nothing."}},
      {"odd values",
       [](FakePlatform& f) {
         f.SetRegValue(HKEY_LOCAL_MACHINE, kSettingsKey, kExecuteDateValue, REG_BINARY,
                       {'2', '0', '\t', 0});
         f.SetRegValue(HKEY_LOCAL_MACHINE, kSettingsKey, kLimitValue, REG_QWORD,
                       {1, 0, 0, 0, 0, 0, 0, 0});
       },
       {"  ExecuteDate  \"20\\x09\" (REG_BINARY, not REG_SZ: counts as another day)",
        "  Limit        longer than 4 bytes: 20 MB is used"}},
      {"high Limit",
       [](FakePlatform& f) {
         f.SetRegDword(HKEY_LOCAL_MACHINE, kSettingsKey, kLimitValue, 4194304);
       },
       {"  Limit        4194304 MB",
        "Threshold: Limit 4194304 MB = 4294967296 KB. The estimate is below it: a pass would "
        "delete nothing.",
        "So a start today without an argument would pass the gate and delete nothing."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakePlatform fake;
    sample::Build(fake);
    c.arrange(fake);
    std::ostringstream out;
    WritePreviewText(out, BuildPreviewReport(fake));
    for (const std::string& line : c.lines) {
      EXPECT_TRUE(HasLine(out.str(), line)) << line << "\nnot in:\n" << out.str();
    }
  }
}

}  // namespace
