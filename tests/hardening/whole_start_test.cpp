// Whole starts of the cleaner checked against the places it may change: one
// machine that holds every kind of entry the cleaner meets, rerun with each of
// its calls failing in turn and each kind of call failing every time; and
// random machines, after which nothing the pass may delete is left. Every run
// must end, return 0 and close what it opened.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <map>
#include <new>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>

#include "app/cleanup_app.h"
#include "folders/folder_walk.h"
#include "folders/machine_text.h"
#include "folders/reclaimable.h"
#include "search/folder_listing.h"

namespace {

const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// ASCII letters folded to upper case, as Win32 compares names.
std::string Fold(std::string text) {
  for (char& c : text) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  return text;
}
std::string Parent(const std::string& path) { return path.substr(0, path.rfind('\\')); }
// The entry directly in `folder` on the way to `path`; "" unless strictly below.
std::string TopBelow(const std::string& path, const std::string& folder) {
  const bool below = path.size() > folder.size() + 1 && path[folder.size()] == '\\' &&
                     path.compare(0, folder.size(), folder) == 0;
  return below ? path.substr(0, path.find('\\', folder.size() + 1)) : "";
}
using folder_walk::IsFolder;
using folder_walk::IsLink;

// Every entry below `folder` with its attributes, each folder before its contents.
using Entries = std::vector<std::pair<std::string, DWORD>>;
void Walk(const FakePlatform& fake, const std::string& folder, Entries& out) {
  for (const std::string& name : fake.List(folder + "\\")) {
    const std::string path = folder + "\\" + name;
    out.emplace_back(path, fake.Attributes(path));
    if (IsFolder(out.back().second) && !IsLink(out.back().second)) Walk(fake, path, out);
  }
}

// What a start may change, read from the machine before it:
//  - entries strictly inside the temporary folder, but for GUID-shaped
//    folders and folder links at its top and what they hold;
//  - files and file links directly in the Windows directory whose names end
//    in ".tmp" (lower case);
//  - "$" folders and folder links directly in the Windows directory, with
//    what they hold;
//  - never anything reached through a link, nor a link's attributes (setting
//    them acts on the target);
//  - in the registry, the settings key's values ExecuteDate and Limit and the
//    record (LastEstimateKB, LastCleaned, LastFreedKB), and
//    subkeys of the installed-software list named by the part of a plain-ASCII
//    "$" folder's name from a "KB" (any letter case) up to its closing "$", at
//    least three characters long.
struct Places {
  std::string windows, temp;  // folded, without a trailing backslash
  Entries before;
  std::map<std::string, DWORD> kinds;  // the same, by folded path

  explicit Places(FakePlatform& f) {
    char text[2][MAX_PATH] = {};
    f.GetWindowsDirectoryA(text[0], MAX_PATH);
    f.GetTempPathA(MAX_PATH, text[1]);
    windows = Fold(text[0]);
    temp = Fold(text[1]);
    temp.pop_back();
    f.ClearLog();
    Walk(f, "C:", before);
    for (const auto& [path, attributes] : before) kinds[Fold(path)] = attributes;
  }
  DWORD Kind(const std::string& folded) const { return kinds.count(folded) ? kinds.at(folded) : 0; }
  // A "$" folder directly in the Windows directory, or a "$" entry that
  // appeared there during the run (a folder renamed by a racing installer,
  // which the pass then lists as one).
  // Its ANSI name begins with "$": a full-width dollar (U+FF04) best-fits to one.
  bool Hotfix(const std::string& top) const {
    const std::size_t at = windows.size() + 1;
    return !top.empty() && (top[at] == '$' || top.compare(at, 3, "\xef\xbc\x84") == 0) &&
           (IsFolder(Kind(top)) || kinds.count(top) == 0);
  }

  bool Allowed(bool folder, const std::string& path) const {
    const std::string folded = Fold(path);
    const std::string top = TopBelow(folded, temp);
    if (!top.empty()) {
      const std::string name = top.substr(temp.size() + 1);
      const bool guid = name.size() >= 20 && name[0] == '{' && name[9] == '-' && name[14] == '-' &&
                        name[19] == '-';
      return !(guid && IsFolder(Kind(top)));
    }
    // ".tmp" as the name stands: X.TMP is not one of them.
    if (Parent(folded) == windows && path.size() > 4 && path.substr(path.size() - 4) == ".tmp") {
      return !folder && !IsFolder(Kind(folded));
    }
    return folded != temp && Hotfix(TopBelow(folded, windows));
  }

  std::string Violation(const FakePlatform::CallRecord& call) const {
    const std::string target = Fold(call.target);
    if (call.call == "RegCreateKeyA" || call.call == "RegSetValueExA") {
      const std::set<std::string> values = {"ExecuteDate", "Limit", "LastEstimateKB", "LastCleaned",
                                            "LastFreedKB"};
      const bool own = call.call == "RegCreateKeyA" || values.count(call.value) != 0;
      return own && target == "HKLM\\SOFTWARE\\BRISCA\\SWEEPWELL" ? "" : "writes elsewhere";
    }
    if (call.call == "RegDeleteKeyA") {
      const std::string list = Fold("HKLM\\" + kUninstall);
      const std::string name = Parent(target) + "\\" == list ? target.substr(list.size()) : "";
      // The part of a plain-ASCII "$" folder's name up to its closing "$".
      bool named = false;
      for (const auto& [path, attributes] : kinds) {
        const bool ascii = std::all_of(path.begin(), path.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        named = named || (Parent(path) == windows && Hotfix(path) && ascii &&
                          path.size() > name.size() + 1 && path.back() == '$' &&
                          path.compare(path.size() - name.size() - 1, name.size(), name) == 0);
      }
      return named && name.size() >= 3 && name.compare(0, 2, "KB") == 0 ? "" : "deletes a key";
    }
    for (std::string up = Parent(target); up.find('\\') != std::string::npos; up = Parent(up)) {
      if (IsLink(Kind(up))) return "reaches through the link " + up;
    }
    if (call.call == "SetFileAttributesA" && IsLink(Kind(target))) return "sets a link's target";
    return Allowed(false, call.target) ? "" : "outside the places";
  }

  // The changing calls, failed or not, outside the places, and the entries
  // outside them that are gone or have other attributes now (a call that went
  // through a folder swapped for a link shows only there).
  void Violations(const FakePlatform& after, std::vector<std::string>& problems) const {
    for (const FakePlatform::CallRecord& call : after.Changes()) {
      const std::string why = Violation(call);
      if (!why.empty())
        problems.push_back(call.call + " " + call.target + " " + call.value + ": " + why);
    }
    Entries now;
    Walk(after, "C:", now);
    std::map<std::string, DWORD> found;
    for (const auto& [path, attributes] : now) found[Fold(path)] = attributes;
    for (const auto& [path, attributes] : before) {
      const auto it = found.find(Fold(path));
      const bool changed = it == found.end() || it->second != attributes;
      if (changed && !Allowed(it == found.end() && IsFolder(attributes), path)) {
        problems.push_back("changed: " + path);
      }
    }
  }

  // Entries of the places still there although nothing stood in the way: no
  // open, removal or deletion failed on them (read-only is no excuse for a
  // file with one name), on a folder above them (but for "not empty", after
  // which a folder is still emptied, and "in use", after which it is emptied
  // through a handle that asks no delete access), nor on a file or link
  // before them in their folder (which ends its walk), and not in a
  // read-only folder. The pass reaches every name and depth.
  void Leftovers(const FakePlatform& after, std::vector<std::string>& problems) const {
    std::map<std::string, DWORD> failed;  // folded target -> error
    for (const FakePlatform::CallRecord& call : after.Calls()) {
      const bool acts = call.changing || call.call == "NtOpenFile" || call.call == "CreateFileA";
      if (acts && !call.succeeded) failed[Fold(call.target)] = call.error;
    }
    auto is = [](DWORD error, NTSTATUS status) { return error == static_cast<DWORD>(status); };
    std::set<std::string> untouched;  // entries the pass may leave whole, with all they hold
    for (const auto& [path, attributes] : before) {
      const std::string folded = Fold(path), parent = Parent(folded);
      if (!Allowed(IsFolder(attributes), path)) continue;
      // A read-only folder, which cannot be removed, is left whole.
      const bool readOnlyFolder = IsFolder(attributes) && !IsLink(attributes) &&
                                  (attributes & FILE_ATTRIBUTE_READONLY) != 0;
      if (untouched.count(parent) || readOnlyFolder) {
        untouched.insert(folded);
        continue;
      }
      const auto failure = failed.find(folded);
      if (failure == failed.end()) {
        if (after.Exists(path)) problems.push_back("left: " + path);
        continue;
      }
      const DWORD error = failure->second;
      const bool file = !IsFolder(attributes) && !IsLink(attributes);
      if (file && (is(error, STATUS_CANNOT_DELETE) || error == ERROR_ACCESS_DENIED) &&
          after.Exists(path)) {
        problems.push_back("left read-only: " + path);
      }
      // A file or link that stays ends its folder's walk, but for the "*.tmp" files.
      if (!IsFolder(attributes) || IsLink(attributes)) {
        if (parent != windows) untouched.insert(parent);
        untouched.insert(folded);
      } else if (!is(error, STATUS_DIRECTORY_NOT_EMPTY) && !is(error, STATUS_SHARING_VIOLATION) &&
                 error != ERROR_DIR_NOT_EMPTY && error != ERROR_SHARING_VIOLATION) {
        untouched.insert(folded);
      }
    }
  }
};

// Runs the program's start on `fake`, stopped past `budget` calls, the call
// numbered `failAt` failing with `error`, `race` run before every call;
// fails the test, naming the run `what`, if it did not end (or would have
// waited on an oplock), did not return 0, left open a handle other than those
// whose closing failed, or left its places (with `allGone`, left anything in
// them). False when it failed.
using Race = std::function<void(std::size_t index)>;
bool CheckStart(FakePlatform& fake, std::size_t budget, bool allGone, const std::string& what = "",
                std::size_t failAt = SIZE_MAX, DWORD error = 0, const Race& race = nullptr) {
  const Places places(fake);
  fake.FailNthCall(failAt, error);
  bool overran = false;
  // Closing calls run in destructors, where a throw would end the process.
  fake.SetCallHook([&](std::string_view call, std::size_t index) {
    if (index >= budget && call != "FindClose" && call != "RegCloseKey" && call != "NtClose") {
      overran = true;
      throw std::length_error("did not end");
    }
    if (race) race(index);
  });
  std::vector<std::string> problems;
  if (ApplicationMain(fake) != 0) problems.push_back("exit code not 0");
  fake.SetCallHook(nullptr);
  if (overran) problems.push_back("did not end");
  if (fake.Stalled()) problems.push_back("waited for an oplock's break");
  std::map<std::string, std::size_t> failed;
  for (const FakePlatform::CallRecord& r : fake.Calls()) failed[r.call] += r.succeeded ? 0 : 1;
  if (fake.OpenHandles() != failed["FindClose"] + failed["RegCloseKey"] + failed["NtClose"]) {
    problems.push_back("handle left open");
  }
  places.Violations(fake, problems);
  if (allGone) places.Leftovers(fake, problems);
  static int shown = 0;  // the machine itself for the first few only
  if (!problems.empty()) {
    ADD_FAILURE() << what << ": " << testing::PrintToString(problems)
                  << (++shown <= 5
                          ? "\nthe machine before: " + testing::PrintToString(places.before)
                          : "");
  }
  return problems.empty();
}

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
    f.AddRegKey(kUninstall + entry);
  }
  f.AddRegKey(kUninstall + "KB777\\Details");
  if (gate == 1) f.SetCommandLine("C:\\Tools\\sweepwell.exe 1");
  if (gate != 0) {
    const char today[] = "2026/12/6";  // as stored: a string with its zero
    f.SetRegValue("SOFTWARE\\Brisca\\Sweepwell", "ExecuteDate", REG_SZ,
                  {today, today + sizeof today});
    f.SetRegDword("SOFTWARE\\Brisca\\Sweepwell", "Limit", 0);
  }
  Build(f, kMachine);
}

// One error for each way the cleaner tells failures apart: which error it was
// matters after CreateFileA, NtOpenFile and a disposition alone. The native
// calls fail with an NTSTATUS. SetErrorMode, GetCommandLineA, GetLocalTime and
// GetLastError cannot fail on Windows.
std::vector<DWORD> ErrorsFor(const std::string& call) {
  auto status = [](NTSTATUS value) { return static_cast<DWORD>(value); };
  if (call == "CreateFileA") return {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION};
  if (call == "NtOpenFile") return {status(STATUS_ACCESS_DENIED), status(STATUS_SHARING_VIOLATION)};
  if (call == "NtSetInformationFile") {
    return {status(STATUS_CANNOT_DELETE), status(STATUS_DIRECTORY_NOT_EMPTY)};
  }
  const std::set<std::string> never = {"SetErrorMode", "GetCommandLineA", "GetLocalTime",
                                       "GetLastError"};
  if (never.count(call) != 0) return {};
  const bool native = call.compare(0, 2, "Nt") == 0 || call.compare(0, 3, "Rtl") == 0;
  return {native ? status(STATUS_ACCESS_DENIED) : DWORD{ERROR_ACCESS_DENIED}};
}

TEST(WholeStart, EveryCallFailingInTurnKeepsTheCleanerInItsPlaces) {
  // A forced start does the most work a start here can be led into.
  FakePlatform forced;
  BuildMachine(forced, 1);
  CheckStart(forced, 100000, true);
  const std::size_t budget = 3 * forced.Calls().size() + 200;
  for (int gate : {0, 1, 2}) {
    SCOPED_TRACE(gate);
    // The clean start does its whole job, so the sweep starts from one.
    FakePlatform clean;
    BuildMachine(clean, gate);
    CheckStart(clean, 100000, gate != 2);
    for (const char* key : {"KB123456", "kb654321"}) {
      EXPECT_EQ(clean.RegKeyExists(kUninstall + key), gate == 2) << key;
    }
    if (HasFailure()) return;  // each run of the sweep would fail the same way
    // The pass's calls are swept after a forced gate alone.
    bool inPass = false;
    for (std::size_t index = 0; index < clean.Calls().size(); ++index) {
      const std::string call = clean.Calls()[index].call;
      inPass = inPass || call == "GetWindowsDirectoryA";
      for (DWORD error : inPass&& gate != 1 ? std::vector<DWORD>{} : ErrorsFor(call)) {
        FakePlatform fake;
        BuildMachine(fake, gate);
        CheckStart(fake, budget, false,
                   "call " + std::to_string(index) + " failing with " + std::to_string(error),
                   index, error);
      }
    }
    // Every call of a kind failing, as on a machine where it always does: a
    // start that retried would not end.
    std::set<std::string> kinds;
    for (const FakePlatform::CallRecord& call : clean.Calls()) kinds.insert(call.call);
    for (const std::string& kind : kinds) {
      for (DWORD error : ErrorsFor(kind)) {
        SCOPED_TRACE(kind);
        FakePlatform fake;
        BuildMachine(fake, gate);
        fake.FailCall(kind, error);
        CheckStart(fake, budget, false, "every " + kind + " failing");
      }
    }
  }
}

// Names the cleaner tells apart; "#" becomes a number unique on the machine.
const char kNames[] =
    "f# f#.tmp F#.TMP #.tmp.bak x#tmp $NtUninstallKB#$ $#hf_migKB $# $#KB$ "
    "{6F1A0C2B-#-4A7B-8C5D-1E2F3A4B5C6D} {6F1A0C2B-9D3E-4A7B-# {6F1A0C2B-9D3E-4A7B# "
    // Full-width forms the ANSI code page best-fits: "ｘ#.tmp", "$#＼..＼Protected".
    "\xef\xbd\x98#.tmp $#\xef\xbc\xbc..\xef\xbc\xbcProtected";
// What an entry is, in the notation of machine_text.h; folders last.
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
  f.SetRegDword("SOFTWARE\\Brisca\\Sweepwell", "Limit", 0);
  for (const char* key : {"K", "KB", "KB0", "Other"}) f.AddRegKey(kUninstall + key);
  std::string text = "Protected\\secret.tmp=1+r " + temp + "\\";
  int unique = 0;
  std::function<void(const std::string&, std::size_t)> fill = [&](const std::string& folder,
                                                                  std::size_t depth) {
    for (auto n = below(4 + 4 * depth); n > 0; --n) {
      const std::string number = std::to_string(++unique);
      std::string name = names[below(names.size())];
      name.replace(name.find('#'), 1, number);
      // Paths of about MAX_PATH characters: a little short of it, at it, past it.
      const std::size_t wanted = 242 + below(30) - folder.size() - name.size();
      if (below(16) == 0 && wanted < 250) name += std::string(wanted, 'L');
      const std::size_t kind = below(std::size(kKinds) - (depth > 0 ? 0 : 2));
      text += " " + folder + name + kKinds[kind] + "+";
      for (char flag : {'r', 'h', 's', 'u'}) text += below(10) == 0 ? std::string(1, flag) : "";
      if (kind >= std::size(kKinds) - 2) fill(folder + name + "\\", depth - 1);
      if (below(2) == 0) f.AddRegKey(kUninstall + "KB" + number);
    }
  };
  fill("Protected\\", 2);
  fill("Windows\\", 2);
  fill(temp + "\\", 3);
  fill("", 1);
  Build(f, text);
}

TEST(WholeStart, RandomMachinesForcedStayInTheirPlacesAndLeaveNothingItMayDelete) {
  for (std::uint64_t seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE(seed);
    FakePlatform fake;
    BuildRandomMachine(fake, seed);
    CheckStart(fake, 100000, true, "seed " + std::to_string(seed));
  }
}

// A racing user's machine: nested folders, read-only files and a bait file in
// the temporary folder, and outside it a folder that holds files of the same
// names, read-only ones among them; in the Windows directory, "*.tmp" files
// and a hotfix backup folder, which an installer there might swap as well.
const char kRaceMachine[] =
    "Outside\\bait.txt=1+r Outside\\ro.txt=1+r Outside\\sub\\deep.txt=1+r "
    "Outside\\sub\\ro2=1+r Outside\\system.dll=1+r %T\\x\\bait.txt=10 %T\\x\\ro.txt=10+r "
    "%T\\x\\sub\\deep.txt=10 %T\\x\\sub\\ro2=10+r %T\\x\\sub\\more\\f=10 "
    "%T\\y.txt=10+r %T\\z\\a=10 Windows\\a.tmp=10 Windows\\ro.tmp=10+r Windows\\$hf\\x=10 "
    "Windows\\$hf\\sub\\y=10+r";

// What the adversary swaps, seen from the entry the call before named: the
// folder it is in, the entry directly in the temporary folder or the Windows
// directory on the way to it, or the entry. Or (kMoveInto) another program
// moves a file into each of the two folders, as installers do.
enum class Swap { kFolder, kTop, kEntry, kHardLink, kMoveInto };

// Renamed away (where share modes allow it) and replaced: a folder by a
// junction to C:\Outside, a file by a symbolic link to a read-only file there,
// or (kHardLink) by a hard link to one. Only what is inside the two places:
// they themselves are not the user's to rename.
void StageSwap(FakePlatform& f, const std::vector<std::string>& places, const std::string& named,
               Swap swap) {
  std::string top;
  for (const std::string& place : places) {
    if (top.empty()) top = TopBelow(Fold(named), place);
  }
  const std::string victim = swap == Swap::kFolder ? Parent(named)
                             : swap == Swap::kTop  ? named.substr(0, top.size())
                                                   : named;
  const DWORD attributes = f.Attributes(victim);
  if (top.empty() || Fold(victim).size() < top.size() || attributes == INVALID_FILE_ATTRIBUTES) {
    return;
  }
  const bool folder = IsFolder(attributes) && !IsLink(attributes);
  if (swap == Swap::kHardLink) {
    if (!folder && !IsLink(attributes) && f.Remove(victim)) {
      f.AddHardLink(victim, "C:\\Outside\\ro.txt");
    }
  } else if (folder) {
    if (f.Rename(victim, victim + "~")) f.AddLink(victim, "C:\\Outside", true);
  } else if (f.Remove(victim)) {
    f.AddLink(victim, "C:\\Outside\\system.dll", false);
  }
}

// The race machine, to be cleaned by a forced start whatever it holds.
void BuildRaceMachine(FakePlatform& f) {
  f.SetCommandLine("C:\\Tools\\sweepwell.exe 1");
  f.SetRegDword("SOFTWARE\\Brisca\\Sweepwell", "Limit", 0);
  Build(f, kRaceMachine);
}

TEST(WholeStart, SwapsAtEveryCallKeepTheCleanerInItsPlaces) {
  const auto build = BuildRaceMachine;
  FakePlatform clean;
  build(clean);
  ASSERT_TRUE(CheckStart(clean, 100000, true, "the start without a race"));
  const std::size_t calls = clean.Calls().size();
  const std::vector<std::string> places = {Fold(Expand("C:\\%T")), "C:\\WINDOWS"};
  for (std::size_t at = 0; at < calls; ++at) {
    for (Swap swap : {Swap::kFolder, Swap::kTop, Swap::kEntry, Swap::kHardLink, Swap::kMoveInto}) {
      FakePlatform fake;
      build(fake);
      const std::string what =
          "swap " + std::to_string(static_cast<int>(swap)) + " before call " + std::to_string(at);
      const Race race = [&](std::size_t index) {
        if (index != at || fake.Calls().empty()) return;
        if (swap != Swap::kMoveInto)
          return StageSwap(fake, places, fake.Calls().back().target, swap);
        // The cleaner's holds share write access: moves into its folders work.
        for (const std::string& into : {Expand("C:\\%T\\"), std::string("C:\\Windows\\")}) {
          fake.AddFile("C:\\Inbox\\setup.dat", 1);
          EXPECT_TRUE(fake.Rename("C:\\Inbox\\setup.dat", into + "setup.dat")) << what << into;
        }
      };
      CheckStart(fake, 3 * calls + 200, false, what, SIZE_MAX, 0, race);
    }
  }
}

// In the Windows directory too, each entry is acted on as the very entry
// listed, by its own name: a "$" folder whose ANSI name best-fits to
// "$a\..\..\Users" is removed itself, not C:\Users, and costs no uninstall
// entry; "ｘ.tmp", listed as "x.tmp", goes itself and "X.TMP" stays; a
// read-only "*.tmp" that is another name of a file elsewhere stays, and so do
// that file's attributes.
TEST(WholeStart, WindowsDirectoryEntriesGoAsThemselves) {
  const std::string fullWidthBackslash = "\xef\xbc\xbc";
  const std::string bestFit =
      "$a" + fullWidthBackslash + ".." + fullWidthBackslash + ".." + fullWidthBackslash + "Users";
  FakePlatform fake;
  fake.SetCommandLine("C:\\Tools\\sweepwell.exe 1");
  fake.SetRegDword("SOFTWARE\\Brisca\\Sweepwell", "Limit", 0);
  // Listed as "$NtUninstallKB2$", its first character a full-width dollar.
  Build(fake, "Windows\\\xef\xbc\x84NtUninstallKB2$\\f=1 Windows\\" + bestFit +
                  "KB1$\\f=1 Windows\\\xef\xbd\x98.tmp=1 Windows\\X.TMP=1 " +
                  "Protected\\secret.txt=1+r Windows\\hl.tmp&Protected\\secret.txt " +
                  "%T\\keep\\a=1+u Users\\Public\\f=1");
  fake.AddRegKey(kUninstall + "KB1");
  fake.AddRegKey(kUninstall + "KB2");
  ASSERT_TRUE(CheckStart(fake, 100000, false));
  EXPECT_EQ(fake.List("C:\\Windows"), (std::vector<std::string>{"X.TMP", "hl.tmp"}));
  EXPECT_TRUE(fake.Exists("C:\\Users\\Public\\f"));
  EXPECT_EQ(fake.Attributes("C:\\Protected\\secret.txt"), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(fake.RegKeyExists(kUninstall + "KB1"));
  EXPECT_TRUE(fake.RegKeyExists(kUninstall + "KB2"));
}

// A tree nested deeper than any walk goes: the walks hold no more handles
// than the bound allows, clean and count what lies within it, and leave the
// rest whole and uncounted.
TEST(WholeStart, TreesDeeperThanTheBoundAreCutThere) {
  FakePlatform fake;
  fake.SetCommandLine("C:\\Tools\\sweepwell.exe 1");
  fake.SetRegDword("SOFTWARE\\Brisca\\Sweepwell", "Limit", 1);
  std::string folder = Expand("C:\\%T");
  for (std::size_t depth = 1; depth <= kMaxWalkDepth + 5; ++depth) {
    folder += "\\d";
    fake.AddFile(folder + "\\f", 1024);  // one kilobyte in each folder
  }
  std::size_t most = 0;
  fake.SetCallHook(
      [&](std::string_view, std::size_t) { most = std::max(most, fake.OpenHandles()); });
  EXPECT_EQ(GetReclaimableKB(fake), kMaxWalkDepth);
  EXPECT_LE(most, kMaxWalkDepth + 4);  // and the Windows directory, the settings, one entry
  fake.SetCallHook(nullptr);
  EXPECT_EQ(ApplicationMain(fake), 0);
  EXPECT_EQ(fake.OpenHandles(), 0u);
  std::string kept = Expand("C:\\%T");
  for (std::size_t depth = 1; depth <= kMaxWalkDepth + 5; ++depth) {
    kept += "\\d";
    EXPECT_EQ(fake.Exists(kept + "\\f"), depth > kMaxWalkDepth) << depth;
  }
}

// An oplock that another program never lets go makes no open wait: the entry
// counts as in use, and the run goes on to its last step.
TEST(WholeStart, OplocksThatNeverBreakDoNotHoldTheRun) {
  FakePlatform fake;
  fake.SetCommandLine("C:\\Tools\\sweepwell.exe 1");
  fake.SetRegDword("SOFTWARE\\Brisca\\Sweepwell", "Limit", 0);
  Build(fake,
        "%T\\a=1 %T\\b=1+o %T\\c=1 %T\\d\\+o %T\\d\\e=1 Windows\\x.tmp=1+o "
        "Windows\\$hf\\o=1+o Windows\\$hf\\p=1 Windows\\$last\\f=1");
  ASSERT_TRUE(CheckStart(fake, 100000, false));
  EXPECT_EQ(fake.List(Expand("C:\\%T")), (std::vector<std::string>{"b", "c", "d"}));
  EXPECT_EQ(fake.List("C:\\Windows"), (std::vector<std::string>{"x.tmp", "$hf"}));
  EXPECT_EQ(fake.List("C:\\Windows\\$hf"), (std::vector<std::string>{"o", "p"}));
}

// Whatever escapes a step (memory running out, say), the run ends with 0 and
// leaves no handle open, at every call of a forced start.
TEST(WholeStart, AThrowAnywhereEndsTheRunCleanly) {
  const auto build = BuildRaceMachine;
  FakePlatform clean;
  build(clean);
  ApplicationMain(clean);
  for (std::size_t at = 0; at < clean.Calls().size(); ++at) {
    FakePlatform fake;
    build(fake);
    fake.SetCallHook([&](std::string_view call, std::size_t index) {
      if (index == at && call != "FindClose" && call != "RegCloseKey" && call != "NtClose") {
        throw std::bad_alloc();
      }
    });
    EXPECT_EQ(ApplicationMain(fake), 0) << at;
    EXPECT_EQ(fake.OpenHandles(), 0u) << at;
  }
}

}  // namespace
