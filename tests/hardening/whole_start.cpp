#include "hardening/whole_start.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <exception>
#include <stdexcept>

#include "app/cleanup_app.h"
#include "hardening/allowed_places.h"

std::vector<std::string> RunWholeStart(FakePlatform& fake, std::size_t callBudget,
                                       const Stage& stage, bool allGone) {
  const AllowedPlaces allowed(fake);
  // Closing calls run in destructors, where a throw would end the process.
  fake.SetCallHook([&](std::string_view call, std::size_t index) {
    if (stage) stage(fake, index);
    if (index >= callBudget && call != "FindClose" && call != "RegCloseKey") {
      throw std::length_error("did not end within " + std::to_string(callBudget) + " calls");
    }
  });
  std::vector<std::string> problems;
  try {
    if (ApplicationMain(fake) != 0) problems.push_back("exit code not 0");
  } catch (const std::exception& e) {
    problems.push_back(std::string("threw: ") + e.what());
  }
  fake.SetCallHook(nullptr);
  // A handle whose closing failed stays open; no other may.
  auto failed = [&](const char* call) {
    return static_cast<std::size_t>(std::count_if(
        fake.Calls().begin(), fake.Calls().end(),
        [&](const FakePlatform::CallRecord& r) { return r.call == call && !r.succeeded; }));
  };
  if (fake.OpenFindHandles() != failed("FindClose")) problems.push_back("find handle left open");
  if (fake.OpenRegKeys() != failed("RegCloseKey")) problems.push_back("key left open");
  for (const std::string& problem : allowed.Violations(fake)) problems.push_back(problem);
  if (allGone) {
    for (const std::string& left : allowed.Leftovers(fake)) problems.push_back("left: " + left);
  }
  return problems;
}

std::size_t SweepEachCall(const MachineBuilder& build, const StagesAt& stagesAt,
                          std::size_t callBudget) {
  FakePlatform clean;
  build(clean);
  RunWholeStart(clean, SIZE_MAX);
  const std::vector<FakePlatform::CallRecord> calls = clean.Calls();
  std::size_t runs = 0;
  std::size_t failed = 0;
  for (std::size_t index = 0; index < calls.size(); ++index) {
    for (const auto& [what, stage] : stagesAt(calls[index])) {
      FakePlatform fake;
      build(fake);
      std::vector<std::string> problems =
          RunWholeStart(fake, callBudget, [&](FakePlatform& f, std::size_t at) {
            if (at == index) stage(f, at);
          });
      // Up to the staged call the start is the clean one's.
      if (fake.Calls().size() <= index || fake.Calls()[index].call != calls[index].call) {
        problems.push_back("the stage missed its call");
      }
      ++runs;
      if (!problems.empty() && ++failed <= 20) {
        ADD_FAILURE() << "call " << index << " " << calls[index].call << " " << calls[index].target
                      << " " << what << ": " << testing::PrintToString(problems) << "\n"
                      << fake.Dump();
      }
    }
  }
  return runs;
}
