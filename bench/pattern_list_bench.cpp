// How many directory-entry names per second MatchPatternList tests against the
// cleaner's own lists and against longer lists and names.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "search/pattern_list.h"

namespace {

// What a Windows directory and a temporary folder typically hold: short 8.3
// names, long component names, temporary files, hotfix backup folders.
const std::vector<std::string>& WindowsNames() {
  static const std::vector<std::string> names = {
      "addins",
      "AppPatch",
      "bootstat.dat",
      "clock.avi",
      "Config",
      "control.ini",
      "Cursors",
      "Debug",
      "explorer.exe",
      "Fonts",
      "Help",
      "hh.exe",
      "ie7updates",
      "inf",
      "Installer",
      "msdfmap.ini",
      "NOTEPAD.EXE",
      "regedit.exe",
      "setupapi.log",
      "SETUP.TMP",
      "system.ini",
      "System32",
      "Tasks",
      "Temp",
      "twain_32.dll",
      "win.ini",
      "WindowsUpdate.log",
      "WinSxS",
      "~DF3A1C.tmp",
      "~WRL0004.tmp",
      "a.a",
      "$NtUninstallKB2183461$",
      "$NtUninstallKB2229593$",
      "$NtServicePackUninstall$",
      "$hf_mig$",
      "ntbtlog.txt",
      "Microsoft.NET",
      "KB2183461.log",
      "x86_Microsoft.Windows.Common-Controls_6595b64144ccf1df_6.0.2600.5512_x-ww_35d4ce83",
      "Downloaded Program Files",
  };
  return names;
}

void MatchEveryName(benchmark::State& state, const std::string& list,
                    const std::vector<std::string>& names) {
  std::int64_t matched = 0;
  for (auto _ : state) {
    for (const std::string& name : names) {
      const bool match = MatchPatternList(name, list);
      benchmark::DoNotOptimize(match);
      matched += match ? 1 : 0;
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(names.size()));
  state.counters["matched"] =
      benchmark::Counter(static_cast<double>(matched) / static_cast<double>(state.iterations()));
}

void BM_TemporaryFilesList(benchmark::State& state) {
  MatchEveryName(state, "*.tmp", WindowsNames());
}
BENCHMARK(BM_TemporaryFilesList);

void BM_HotfixFoldersList(benchmark::State& state) { MatchEveryName(state, "a.a", WindowsNames()); }
BENCHMARK(BM_HotfixFoldersList);

// Every item is tried for a name that matches none of them.
void BM_FiveItemList(benchmark::State& state) {
  MatchEveryName(state, "*.log;*.bak;~*.tmp;$NtUninstall*$;*.old", WindowsNames());
}
BENCHMARK(BM_FiveItemList);

// The dearest case within the real bounds: inner runs that nearly occur at
// every position of a name of the longest length an entry can have.
void BM_InnerRunsOverLongestName(benchmark::State& state) {
  const std::vector<std::string> names = {std::string(258, 'a') + "b"};
  MatchEveryName(state, "*a?a?a?a?c*;*aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab*", names);
}
BENCHMARK(BM_InnerRunsOverLongestName);

}  // namespace

BENCHMARK_MAIN();
