// Random machines: a forced start with Limit 0 on each changes nothing outside
// the cleaner's places and leaves nothing there that it could have deleted.
// Fixed seeds: a failing seed is the same machine on every library.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "folders/machine_text.h"
#include "hardening/whole_start.h"

namespace {

const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

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
  auto below = [&](std::uint64_t n) { return random() % n; };
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
    for (auto n = below(4 + 4 * static_cast<std::uint64_t>(depth)); n > 0; --n) {
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

TEST(RandomMachines, ForcedStartStaysInItsPlacesAndLeavesNothingItMayDelete) {
  std::uint64_t failed = 0;
  for (std::uint64_t seed = 1; seed <= 300; ++seed) {
    FakePlatform fake;
    BuildRandomMachine(fake, seed);
    const std::vector<std::string> problems = RunWholeStart(fake, 100000, nullptr, true);
    if (!problems.empty() && ++failed <= 5) {
      ADD_FAILURE() << "seed " << seed << ": " << testing::PrintToString(problems) << "\n"
                    << fake.Dump();
    }
  }
  EXPECT_EQ(failed, 0u);
}

}  // namespace
