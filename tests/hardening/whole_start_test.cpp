// Whole starts of the cleaner checked against the places it may change: one
// machine that holds every kind of entry the cleaner meets, rerun with each of
// its calls failing in turn and each kind of call failing every time; and
// random machines, after which nothing the pass may delete is left. Every run
// must end, leave through the exit path and close what it opened.
#include "hardening/whole_start.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <iostream>
#include <iterator>
#include <random>
#include <sstream>

#include "folders/machine_text.h"

namespace {

const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// Each place holds more than the default 20 MB on its own, so that most
// single failures of the estimate still let a first run's pass go on. Links
// lead to C:\Protected; names that end in "KB" give no key "K" or "KB".
const char kMachine[] =
    "Protected\\secret.txt=100+r Protected\\a.tmp=100+r root.tmp=100 Windows\\a.tmp=25m "
    "Windows\\ro.tmp=10+r Windows\\hidden.tmp=10+hs Windows\\busy.tmp=10+ru Windows\\X.TMP=10 "
    "Windows\\y.tmp\\in.tmp=10 Windows\\System32\\deep.tmp=10 "
    "Windows\\link.tmp@Protected\\a.tmp+r Windows\\$NtUninstallKB123456$\\spuninst.exe=25m "
    "Windows\\$NtUninstallKB123456$\\ro.dll=10+r "
    "Windows\\$NtUninstallKB123456$\\sub\\%G\\g.dat=10 "
    "Windows\\$NtUninstallkb654321$\\busy.dll=10+u Windows\\$NtUninstallkb654321$\\c.dll=10 "
    "Windows\\$empty$\\ Windows\\$log=10 Windows\\$NtUninstallKB555$=10 "
    "Windows\\$NtUninstallKB777$>Protected Windows\\$NtUninstallKb\\f=10 Windows\\$KB\\f=10 "
    "Windows\\$hf_migkb\\f=10 Windows\\$NtUninstallKB$\\f=10 %T\\big.bin=25m %T\\ro.txt=10+rh "
    "%T\\a\\b\\c\\deep.txt=10 %T\\%G\\kept.txt=10 %T\\sub\\%G\\gone.txt=10 %T\\busy\\1.txt=10 "
    "%T\\busy\\2-in-use.txt=10+u %T\\busy\\3\\f.txt=10 %T\\junction>Protected "
    "%T\\flink.txt@Protected\\secret.txt %T\\empty\\ %T\\held\\+u %T\\held\\f.txt=10 "
    "%T\\rofolder\\+r %T\\rofolder\\f.txt=10 %T\\%100L\\%100M\\%18f=10 %T\\%100L\\%100M\\%30g=10";

// The gate's three ways in: a first run, a forced start and an unforced one
// on the day of the last run (Limit 0 there: the pass runs whatever the
// estimate, so failures that blind it still lead into the deletions).
void BuildMachine(FakePlatform& f, int gate) {
  for (const char* entry : {"KB123456", "kb654321", "KB777", "KB555", "KB1", "K", "KB", "Other"}) {
    f.AddRegKey(HKEY_LOCAL_MACHINE, kUninstall + entry);
  }
  f.AddRegKey(HKEY_LOCAL_MACHINE, kUninstall + "KB777\\Details");
  if (gate == 1) f.SetCommandLine("C:\\Tools\\sweepwell.exe 1");
  if (gate != 0) {
    f.SetRegString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brisca\\Sweepwell", "ExecuteDate", "2026/12/6");
    f.SetRegDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brisca\\Sweepwell", "Limit", 0);
  }
  Build(f, kMachine);
}

// One error for each way the cleaner tells failures apart: it asks which
// error it was after RemoveDirectoryA alone. SetErrorMode, GetCommandLineA,
// GetLocalTime and GetLastError cannot fail on Windows.
std::vector<DWORD> ErrorsFor(const std::string& call) {
  if (call == "RemoveDirectoryA")
    return {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_DIR_NOT_EMPTY};
  const bool never = call == "SetErrorMode" || call == "GetCommandLineA" ||
                     call == "GetLocalTime" || call == "GetLastError";
  return never ? std::vector<DWORD>{} : std::vector<DWORD>{ERROR_ACCESS_DENIED};
}

TEST(WholeStart, EveryCallFailingInTurnKeepsTheCleanerInItsPlaces) {
  // A forced start does the most work a start here can be led into.
  FakePlatform forced;
  BuildMachine(forced, 1);
  RunWholeStart(forced, SIZE_MAX);
  const std::size_t budget = 3 * forced.Calls().size() + 200;
  std::size_t runs = 0;
  for (int gate : {0, 1, 2}) {
    SCOPED_TRACE(gate);
    const auto build = [gate](FakePlatform& f) { BuildMachine(f, gate); };
    // The clean start does its whole job, so the sweep starts from one.
    FakePlatform clean;
    build(clean);
    EXPECT_EQ(RunWholeStart(clean, SIZE_MAX, nullptr, gate != 2), std::vector<std::string>{});
    EXPECT_EQ(clean.RegKeyExists(HKEY_LOCAL_MACHINE, kUninstall + "kb654321"), gate == 2);
    // The pass's calls are swept after a forced gate alone.
    bool inPass = false;
    runs += SweepEachCall(
        build,
        [&](const FakePlatform::CallRecord& call) {
          inPass = inPass || call.call == "GetWindowsDirectoryA";
          std::vector<Stage> stages;
          for (DWORD error : inPass&& gate != 1 ? std::vector<DWORD>{} : ErrorsFor(call.call)) {
            stages.push_back(
                [error](FakePlatform& f, std::size_t at) { f.FailNthCall(at, error); });
          }
          return stages;
        },
        budget);
    // Every call of a kind failing, as on a machine where it always does: a
    // start that retried would not end.
    for (const char* kind :
         {"RegOpenKeyA", "RegQueryValueExA", "FindFirstFileA", "FindNextFileA",
          "GetFileAttributesA", "DeleteFileA", "RemoveDirectoryA", "FindClose"}) {
      for (DWORD error : ErrorsFor(kind)) {
        FakePlatform fake;
        build(fake);
        fake.FailCall(kind, error);
        EXPECT_EQ(RunWholeStart(fake, budget), std::vector<std::string>{}) << kind << " " << error;
        ++runs;
      }
    }
  }
  std::cout << "fault sweep: " << runs << " runs\n";
}

// Names the cleaner tells apart; "#" becomes a number unique on the machine.
const char kNames[] =
    "f# f#.tmp F#.TMP #.tmp.bak x#tmp $NtUninstallKB#$ $#hf_migKB $# $#KB$ "
    "{6F1A0C2B-#-4A7B-8C5D-1E2F3A4B5C6D} {6F1A0C2B-9D3E-4A7B-# {6F1A0C2B-9D3E-4A7B#";
// What an entry is, in the notation of machine_text.h.
const char* const kKinds[] = {
    "=1k", "=1k+r", "=5g", "@Protected\\secret.tmp", ">Protected", ">Windows", ">T", "\\", "\\"};

// A machine drawn from `seed`, the temporary folder one of three, with
// uninstall entries named after some of its entries.
void BuildRandomMachine(FakePlatform& f, std::uint64_t seed) {
  std::mt19937_64 random(seed);
  std::istringstream list(kNames);
  const std::vector<std::string> names{std::istream_iterator<std::string>(list), {}};
  auto below = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  const char* const temps[] = {"%T", "Windows\\Temp", "T"};
  const std::string temp = Expand(temps[below(3)]);
  f.SetTempPath("C:\\" + temp + "\\");
  f.SetCommandLine("C:\\Tools\\sweepwell.exe 1");
  f.SetRegDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brisca\\Sweepwell", "Limit", 0);
  for (const char* key : {"K", "KB", "KB0", "Other"}) {
    f.AddRegKey(HKEY_LOCAL_MACHINE, kUninstall + key);
  }
  std::string text = "Protected\\secret.tmp=1+r " + temp + "\\";
  int unique = 0;
  std::function<void(const std::string&, int)> fill = [&](const std::string& folder, int depth) {
    for (auto n = below(4 + 4 * static_cast<std::size_t>(depth)); n > 0; --n) {
      const std::string number = std::to_string(++unique);
      std::string name = names[below(names.size())];
      name.replace(name.find('#'), 1, number);
      // Paths of about MAX_PATH characters: a little short of it, at it, past it.
      const std::size_t wanted = 242 + below(30) - folder.size() - name.size();
      if (below(16) == 0 && wanted < 250) name += std::string(wanted, 'L');
      const std::string path = folder + name;
      const std::size_t kind = below(std::size(kKinds) - (depth > 0 ? 0 : 2));
      text += " " + path + kKinds[kind] + "+";
      for (char flag : {'r', 'h', 's', 'u'}) text += below(10) == 0 ? std::string(1, flag) : "";
      if (kind >= std::size(kKinds) - 2) fill(path + "\\", depth - 1);
      if (below(2) == 0) f.AddRegKey(HKEY_LOCAL_MACHINE, kUninstall + "KB" + number);
    }
  };
  fill("Protected\\", 2);
  fill("Windows\\", 2);
  fill(temp + "\\", 3);
  fill("", 1);
  Build(f, text);
}

TEST(WholeStart, RandomMachinesForcedStayInTheirPlacesAndLeaveNothingItMayDelete) {
  for (std::uint64_t seed = 1, failed = 0; seed <= 300; ++seed) {
    FakePlatform fake;
    BuildRandomMachine(fake, seed);
    const std::vector<std::string> problems = RunWholeStart(fake, 100000, nullptr, true);
    if (!problems.empty() && ++failed <= 5) {
      ADD_FAILURE() << "seed " << seed << ": " << testing::PrintToString(problems) << "\n"
                    << fake.Dump();
    }
  }
}

}  // namespace
