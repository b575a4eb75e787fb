#include "preview/preview_format.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <sstream>
#include <string>
#include <vector>

#include "app/gate_settings.h"
#include "platform/fake_platform.h"
#include "sample_machine.h"

namespace {

// Reads CSV text back as RFC 4180 defines it, so that the writer's quoting is
// checked by what a script would read, not by its own rules.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        rows.back().back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        rows.back().back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      rows.back().emplace_back();
    } else if (c == '\n') {
      rows.emplace_back(1);
    } else {
      rows.back().back() += c;
    }
  }
  if (rows.back() == std::vector<std::string>(1)) rows.pop_back();  // after the last line
  return rows;
}

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

class PreviewFormatTest : public testing::Test {
 protected:
  PreviewFormatTest() { sample::Build(fake_); }

  std::string Csv() {
    std::ostringstream out;
    WritePreviewCsv(out, BuildPreviewReport(fake_));
    return out.str();
  }
  std::string Text() {
    std::ostringstream out;
    WritePreviewText(out, BuildPreviewReport(fake_));
    return out.str();
  }

  FakePlatform fake_;
};

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

TEST_F(PreviewFormatTest, CsvRowsReadBackAsTheItems) {
  const PreviewReport report = BuildPreviewReport(fake_);
  std::ostringstream out;
  WritePreviewCsv(out, report);
  const auto rows = ParseCsv(out.str());
  ASSERT_EQ(rows.size(), report.items.size() + 1);
  EXPECT_EQ(Lines(out.str()).front(), kPreviewCsvHeader);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"step", "action", "type", "bytes", "path",
                                               "uninstall_key", "uninstall_key_exists"}));
  for (std::size_t i = 0; i < report.items.size(); ++i) {
    ASSERT_EQ(rows[i + 1].size(), 7u) << out.str();
    EXPECT_EQ(rows[i + 1][4], report.items[i].path);
    EXPECT_EQ(rows[i + 1][3], std::to_string(report.items[i].bytes));
  }
}

TEST_F(PreviewFormatTest, CsvRowsSayWhatHappensToEachItem) {
  const std::string csv = Csv();
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

TEST_F(PreviewFormatTest, TextShowsKeyGateEstimateAndItems) {
  const std::string text = Text();
  for (const std::string& line : {
           std::string("Settings key HKLM\\SOFTWARE\\Brisca\\Sweepwell"),
           std::string("  ExecuteDate  \"2026/12/5\""),
           std::string("  Limit        20 MB"),
           std::string("Today is 2026/12/6. A start without an argument would pass the gate (no "
                       "run recorded today) and store today's date."),
           std::string("        3777 KB  *.tmp files directly in C:\\Windows (3867648 bytes)"),
           std::string("        6144 KB    C:\\Windows\\$NtUninstallKB123456$ (6291456 bytes)"),
           std::string("Threshold: Limit 20 MB = 20480 KB. The estimate reaches it: a pass would "
                       "clean."),
           std::string("So a start today without an argument would clean: it would delete what "
                       "follows."),
           std::string("  delete  file    C:\\Windows\\locked.tmp  (716800 bytes)"),
           "  keep    folder  " + std::string(sample::kTemp) + "\\" + sample::kKeptGuid +
               "  (GUID-shaped name)",
           "  delete  link    " + std::string(sample::kTemp) +
               "\\linked  (removed as a link, never followed)",
           std::string("                  and the uninstall entry HKLM\\SOFTWARE\\Microsoft\\"
                       "Windows\\CurrentVersion\\Uninstall\\KB654321: it does not exist"),
           std::string("                  no uninstall entry: the name holds no KB number"),
       }) {
    EXPECT_TRUE(HasLine(text, line)) << line << "\nnot in:\n" << text;
  }
}

TEST_F(PreviewFormatTest, TextTellsHowTheGateWouldEnd) {
  struct Case {
    const char* what;
    void (*arrange)(FakePlatform&);
    std::vector<std::string> lines;
  };
  const Case cases[] = {
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
