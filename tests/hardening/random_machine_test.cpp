// Random machines: a forced start with Limit 0 on each changes nothing outside
// the cleaner's places and leaves nothing there that it could have deleted.
// Fixed seeds; more by hand: SWEEPWELL_RANDOM_MACHINES=20000 ./hardening_tests
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "folders/machine_text.h"
#include "hardening/whole_start.h"

namespace {

const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// Names the cleaner tells apart; "#" becomes a number unique on the machine.
const char* const kNames[] = {"f#",
                              "f#.tmp",
                              "F#.TMP",
                              "#.tmp.bak",
                              "x#tmp",
                              "$NtUninstallKB#$",
                              "$#hf_migKB",
                              "$#",
                              "$#KB$",
                              "{6F1A0C2B-#-4A7B-8C5D-1E2F3A4B5C6D}",
                              "{6F1A0C2B-9D3E-4A7B-#",
                              "{6F1A0C2B-9D3E-4A7B#"};
// What an entry is, in the notation of machine_text.h.
const char* const kKinds[] = {
    "=1k", "=1k+r", "=5g", "@Protected\\secret.tmp", ">Protected", ">Windows", ">T", "\\", "\\"};

// A machine drawn from `seed` (std::mt19937_64 gives the same numbers on every
// library), the temporary folder one of three. Returns the uninstall entries
// the start must delete: those of the "$NtUninstallKB#$" folders and folder
// links directly in the Windows directory.
std::vector<std::string> BuildRandomMachine(FakePlatform& f, std::uint64_t seed) {
  std::mt19937_64 random(seed);
  auto below = [&](std::uint64_t n) { return random() % n; };
  const char* const temps[] = {"%T", "Windows\\Temp", "T"};
  const std::string temp = Expand(temps[below(3)]);
  f.SetTempPath("C:\\" + temp + "\\");
  f.SetCommandLine("C:\\Tools\\sweepwell.exe 1");
  f.SetRegDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brisca\\Sweepwell", "Limit", 0);
  for (const char* key : {"K", "KB", "KB0", "Other"})
    f.AddRegKey(HKEY_LOCAL_MACHINE, kUninstall + key);
  std::string text = "Protected\\secret.tmp=1+r " + temp + "\\";
  std::vector<std::string> mustGo;
  int unique = 0;
  std::function<void(const std::string&, int)> fill = [&](const std::string& folder, int depth) {
    for (auto n = below(4 + 4 * static_cast<std::uint64_t>(depth)); n > 0; --n) {
      const std::string number = std::to_string(++unique);
      std::string name = kNames[below(std::size(kNames))];
      name.replace(name.find('#'), 1, number);
      // Paths of about MAX_PATH characters: a little short of it, at it, past it.
      const std::size_t wanted = 242 + below(30) - folder.size() - name.size();
      if (below(16) == 0 && wanted < 250) name += std::string(wanted, 'L');
      const std::string path = folder + name;
      const std::size_t kind = below(std::size(kKinds) - (depth > 0 ? 0 : 2));
      text += " " + path + kKinds[kind] + "+";
      for (char flag : {'r', 'h', 's', 'u'}) text += below(10) == 0 ? std::string(1, flag) : "";
      if (kind >= std::size(kKinds) - 2) fill(path + "\\", depth - 1);
      if (name.compare(0, 14, "$NtUninstallKB") == 0 && below(4) != 0) {
        const std::string key = (below(2) ? "kb" : "KB") + number;
        const bool held = below(6) == 0;  // a key with subkeys cannot be deleted
        f.AddRegKey(HKEY_LOCAL_MACHINE, kUninstall + key + (held ? "\\Sub" : ""));
        const bool folderOrLink = kind >= 4;
        if (!held && folderOrLink && folder == "Windows\\" && path.size() < 147)
          mustGo.push_back(key);
      }
    }
  };
  fill("Protected\\", 2);
  fill("Windows\\", 2);
  fill(temp + "\\", 3);
  fill("", 1);
  Build(f, text);
  return mustGo;
}

std::uint64_t Machines() {
  const char* text = std::getenv("SWEEPWELL_RANDOM_MACHINES");
  return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : 300;
}

TEST(RandomMachines, ForcedStartStaysInItsPlacesAndLeavesNothingItMayDelete) {
  std::uint64_t failed = 0;
  for (std::uint64_t seed = 1; seed <= Machines(); ++seed) {
    FakePlatform fake;
    const std::vector<std::string> mustGo = BuildRandomMachine(fake, seed);
    std::vector<std::string> problems = RunWholeStart(fake, 100000, nullptr, true);
    for (const std::string& key : mustGo) {
      if (fake.RegKeyExists(HKEY_LOCAL_MACHINE, kUninstall + key))
        problems.push_back("kept " + key);
    }
    if (!problems.empty() && ++failed <= 5) {
      ADD_FAILURE() << "seed " << seed << ": " << testing::PrintToString(problems) << "\n"
                    << fake.Dump();
    }
  }
  EXPECT_EQ(failed, 0u);
}

}  // namespace
