// Speed and memory of the estimate (GetReclaimableKB) and the purge
// (PurgeFolder) over temporary folders of 100,000 and 1,000,000 entries, and
// of a recursive file finder over the same trees. Each runs over two
// platforms: SyntheticPlatform, which costs next to nothing, so the figures
// are the cleaner's own work; and the in-memory fake the tests use, which
// logs and resolves every call and so mostly measures itself. The floor walks
// (bench/floor_walk.h) over SyntheticPlatform give the least any cleaner could
// spend on the same calls.
//
// Counters: per_entry is the time per entry; heap_peak the most heap the
// call held at once beyond what was live before it; allocs the allocations per
// run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "bench/floor_walk.h"
#include "bench/heap_counter.h"
#include "bench/synthetic_platform.h"
#include "bench/synthetic_tree.h"
#include "folders/purge_folder.h"
#include "folders/reclaimable.h"
#include "search/file_finder.h"
#include "support/fake_platform.h"

namespace {

constexpr const char* kTemp = "C:\\Users\\Admin\\AppData\\Local\\Temp";

const SyntheticTree& Tree(std::int64_t entries) {
  static std::map<std::int64_t, std::unique_ptr<SyntheticTree>> trees;
  auto& tree = trees[entries];
  if (!tree) tree = std::make_unique<SyntheticTree>(static_cast<std::uint64_t>(entries));
  return *tree;
}

void AddFolderToFake(FakePlatform& fake, const SyntheticTree& tree, std::uint32_t folder,
                     std::string& path) {
  const std::size_t length = path.size();
  SyntheticTree::NameBuffer name;
  for (std::uint32_t file = 0; file < tree.FileCount(folder); ++file) {
    path.append("\\").append(tree.FileName(folder, file, name));
    fake.AddFile(path, tree.FileSize(folder, file), tree.FileAttributes(folder, file));
    path.resize(length);
  }
  for (std::uint32_t k = 0; k < tree.ChildCount(folder); ++k) {
    const std::uint32_t child = tree.FirstChild(folder) + k;
    path.append("\\").append(tree.FolderName(child, name));
    fake.AddFolder(path);
    AddFolderToFake(fake, tree, child, path);
    path.resize(length);
  }
}

// The machine SyntheticPlatform serves, built in the fake: the same entries
// in the same listing order, and the same Windows directory.
std::unique_ptr<FakePlatform> BuildFake(const SyntheticTree& tree) {
  auto fake = std::make_unique<FakePlatform>();
  fake->AddFile("C:\\Windows\\explorer.exe", 1000);
  fake->AddFolder("C:\\Windows\\System32");
  fake->AddFile("C:\\Windows\\win.ini", 100);
  std::string path = kTemp;
  fake->AddFolder(path);
  AddFolderToFake(*fake, tree, 0, path);
  fake->ClearLog();
  return fake;
}

struct CallTally {
  std::map<std::string, std::uint64_t> calls;
  bool operator==(const CallTally& other) const { return calls == other.calls; }
};

CallTally Tally(const FakePlatform& fake) {
  CallTally tally;
  for (const FakePlatform::CallRecord& record : fake.Calls()) {
    if (record.call.find("File") != std::string::npos ||
        record.call.find("Directory") != std::string::npos || record.call == "FindClose" ||
        record.call == "NtClose") {
      ++tally.calls[record.call];
    }
  }
  tally.calls.erase("GetWindowsDirectoryA");
  return tally;
}

CallTally Tally(const SyntheticPlatform::Counts& counts) {
  CallTally tally;
  auto put = [&](const char* call, std::uint64_t count) {
    if (count != 0) tally.calls[call] = count;
  };
  put("FindFirstFileA", counts.findFirst);
  put("FindNextFileA", counts.findNext);
  put("FindClose", counts.findClose);
  put("CreateFileA", counts.createFile);
  put("NtOpenFile", counts.openFile);
  put("NtQueryDirectoryFile", counts.queryDirectory);
  put("NtQueryInformationFile", counts.queryInformation);
  put("NtSetInformationFile", counts.setInformation);
  put("GetFileInformationByHandle", counts.getInformation);
  put("NtClose", counts.close);
  return tally;
}

std::string Describe(const CallTally& tally) {
  std::string text;
  for (const auto& [call, count] : tally.calls) text += call + "=" + std::to_string(count) + " ";
  return text;
}

// Both platforms must see the same calls and give the same answers, or the
// synthetic figures would be of another walk.
void CheckPlatformsAgree() {
  const SyntheticTree tree(20000);
  std::unique_ptr<FakePlatform> fake = BuildFake(tree);
  SyntheticPlatform synthetic(tree);

  const DWORD fakeKB = GetReclaimableKB(*fake);
  const DWORD syntheticKB = GetReclaimableKB(synthetic);
  const DWORD expectedKB = KilobytesOf(tree.TotalBytes());
  const CallTally fakeEstimate = Tally(*fake);
  const CallTally syntheticEstimate = Tally(synthetic.CallCounts());

  fake->ClearLog();
  synthetic.Restore();
  PurgeFolder(*fake, kTemp, true);
  PurgeFolder(synthetic, kTemp, true);
  const CallTally fakePurge = Tally(*fake);
  const CallTally syntheticPurge = Tally(synthetic.CallCounts());
  const bool onlyGuardedLeft = fake->List(kTemp).size() == SyntheticTree::kGuardedFolders;
  // Only the purge's first disposition, of the top folder, is refused: a
  // subfolder is removed once its walk has emptied it.
  if (fakeKB != expectedKB || syntheticKB != expectedKB || !(fakeEstimate == syntheticEstimate) ||
      !(fakePurge == syntheticPurge) || !onlyGuardedLeft ||
      synthetic.CallCounts().setInformationFailed != 1) {
    std::fprintf(stderr,
                 "The platforms disagree on a tree of 20,000 entries:\n"
                 "  KB: fake %u, synthetic %u, expected %u\n"
                 "  estimate: fake %s\n            synthetic %s\n"
                 "  purge: fake %s\n         synthetic %s\n  left in the fake: %zu entries\n",
                 fakeKB, syntheticKB, expectedKB, Describe(fakeEstimate).c_str(),
                 Describe(syntheticEstimate).c_str(), Describe(fakePurge).c_str(),
                 Describe(syntheticPurge).c_str(), fake->List(kTemp).size());
    std::exit(1);
  }
  std::printf(
      "Both platforms see the same calls: estimate %s\n                                   purge "
      "%s\n",
      Describe(syntheticEstimate).c_str(), Describe(syntheticPurge).c_str());
}

// Heap use across the measured loop.
class HeapProbe {
 public:
  HeapProbe() : before_(heap_counter::Now()) { heap_counter::ResetPeak(); }
  void Report(benchmark::State& state, const SyntheticTree& tree) const {
    const heap_counter::Snapshot after = heap_counter::Now();
    const auto entries = static_cast<double>(tree.EntryCount());
    const auto runs = static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(tree.EntryCount()));
    state.counters["per_entry"] = benchmark::Counter(
        entries, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["heap_peak"] =
        benchmark::Counter(static_cast<double>(after.peakBytes - before_.liveBytes),
                           benchmark::Counter::kDefaults, benchmark::Counter::kIs1024);
    state.counters["allocs"] = static_cast<double>(after.allocations - before_.allocations) / runs;
    state.counters["depth"] = tree.FolderDepth();
  }

 private:
  heap_counter::Snapshot before_;
};

// One walk over SyntheticPlatform: a sum, which changes nothing, or a purge,
// after which the tree is put back outside the timed part.
template <typename Walk>
void MeasureSum(benchmark::State& state, Walk walk) {
  const SyntheticTree& tree = Tree(state.range(0));
  SyntheticPlatform platform(tree);
  HeapProbe probe;
  for (auto _ : state) benchmark::DoNotOptimize(walk(platform));
  probe.Report(state, tree);
}

template <typename Walk>
void MeasurePurge(benchmark::State& state, Walk walk) {
  const SyntheticTree& tree = Tree(state.range(0));
  SyntheticPlatform platform(tree);
  HeapProbe probe;
  for (auto _ : state) {
    state.PauseTiming();
    platform.Restore();
    state.ResumeTiming();
    walk(platform);
  }
  probe.Report(state, tree);
}

void BM_Estimate(benchmark::State& state) {
  MeasureSum(state, [](Platform& platform) { return GetReclaimableKB(platform); });
}

void BM_FloorEstimate(benchmark::State& state) {
  MeasureSum(state, [](Platform& platform) { return FloorFolderSize(platform, kTemp, true); });
}

void BM_Purge(benchmark::State& state) {
  MeasurePurge(state, [](Platform& platform) { PurgeFolder(platform, kTemp, true); });
}

void BM_FloorPurge(benchmark::State& state) {
  MeasurePurge(state, [](Platform& platform) { FloorPurgeContents(platform, kTemp, true); });
}

// The finder's own walk (Accept, Walk, results) over the whole tree; its
// results grow with the tree by design, so heap_peak does too.
void BM_FinderRecursive(benchmark::State& state) {
  const SyntheticTree& tree = Tree(state.range(0));
  SyntheticPlatform platform(tree);
  FindSpec spec;
  spec.bRecursive = true;
  spec.bReturnFolders = false;
  spec.strFolder = kTemp;
  spec.strIncludeFiles = "*.tmp";
  spec.strExcludeFiles = "~*";
  spec.strExcludeFolders = "{*}";
  CFileFinder finder(platform, spec);
  HeapProbe probe;
  for (auto _ : state) {
    finder.Find();
    benchmark::DoNotOptimize(finder.Results().size());
    state.PauseTiming();
    finder.Reset();
    state.ResumeTiming();
  }
  probe.Report(state, tree);
}

void BM_EstimateOverFake(benchmark::State& state) {
  const SyntheticTree& tree = Tree(state.range(0));
  std::unique_ptr<FakePlatform> fake = BuildFake(tree);
  HeapProbe probe;
  for (auto _ : state) {
    benchmark::DoNotOptimize(GetReclaimableKB(*fake));
    state.PauseTiming();
    fake->ClearLog();
    state.ResumeTiming();
  }
  probe.Report(state, tree);
}

void BM_PurgeOverFake(benchmark::State& state) {
  const SyntheticTree& tree = Tree(state.range(0));
  std::unique_ptr<FakePlatform> fake;
  for (auto _ : state) {
    state.PauseTiming();
    fake.reset();
    fake = BuildFake(tree);
    state.ResumeTiming();
    PurgeFolder(*fake, kTemp, true);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(tree.EntryCount()));
  state.counters["per_entry"] = benchmark::Counter(
      static_cast<double>(tree.EntryCount()),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
}

// Three repetitions of the fake's runs, which take seconds at 1,000,000 entries.
void FakeSizes(benchmark::internal::Benchmark* b) { Sizes(b->Repetitions(3)); }

BENCHMARK(BM_Estimate)->Apply(Sizes);
BENCHMARK(BM_FloorEstimate)->Apply(Sizes);
BENCHMARK(BM_Purge)->Apply(Sizes);
BENCHMARK(BM_FloorPurge)->Apply(Sizes);
BENCHMARK(BM_FinderRecursive)->Apply(Sizes);
BENCHMARK(BM_EstimateOverFake)->Apply(FakeSizes);
BENCHMARK(BM_PurgeOverFake)->Apply(FakeSizes);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  CheckPlatformsAgree();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
