// What a start of the cleaner would do on this machine, gathered without
// changing anything: the settings key and the gate, the estimate with its
// terms and the threshold decision, and what a cleaning would delete, in the
// order it would.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/run_gate.h"
#include "app/settings.h"
#include "platform/platform.h"

// The cleaning pass's three steps, in the order it takes them.
enum class PreviewStep {
  kWindowsTmpFile,   // a "*.tmp" file directly in the Windows directory
  kTempFolderEntry,  // an entry at the top of the temporary folder
  kHotfixFolder,     // a hotfix backup folder, with its uninstall entry
};

enum class PreviewAction {
  kDelete,  // deleted (a folder with all it holds, a link as a link)
  kKeep,    // left whole: a GUID-shaped folder at the top of the temporary folder, or
            // a file the age rule keeps
};

enum class PreviewEntryKind { kFile, kFolder, kLink };

// The installed-software entry that goes with a hotfix backup folder.
enum class UninstallState {
  kNone,         // the folder's name holds no "KB": no entry is deleted
  kPresent,      // the entry exists and would be deleted
  kAbsent,       // no such entry: the deletion would find nothing
  kUnknown,      // the entry cannot be opened: whether it exists is not known
  kUnavailable,  // the installed-software list cannot be opened: nothing is deleted
};

struct PreviewItem {
  PreviewStep step = PreviewStep::kWindowsTmpFile;
  PreviewAction action = PreviewAction::kDelete;
  bool recent = false;        // kept by the age rule (else a kept one is GUID-shaped)
  std::int64_t ageTicks = 0;  // a file's: from the later of its creation and last write to now
  PreviewEntryKind kind = PreviewEntryKind::kFile;
  std::string path;
  std::uint64_t bytes = 0;  // what the estimate counts for it
  // Hotfix backup folders: the entry's key under HKEY_LOCAL_MACHINE
  // ("SOFTWARE\...\Uninstall\KB123456"), empty with kNone.
  std::string uninstallKey;
  UninstallState uninstall = UninstallState::kNone;
};

struct PreviewGate {
  std::string today;        // as the gate formats it
  GateSettings settings;    // the keys as they stand
  GateDecision startToday;  // a start today without an argument
  std::int64_t now = 0;     // the clock, as file-time ticks; 0 when it gives nothing
};

struct PreviewHotfixTerm {
  std::string path;
  std::uint64_t bytes = 0;
};

struct PreviewEstimate {
  std::string windowsDirectory;  // empty when it cannot be had whole
  std::string tempFolder;        // as fetched, trailing backslash kept; empty likewise
  bool systemTemp = false;       // the temporary folder is SYSTEM's, as the daily task sees it
  std::uint64_t tmpFileBytes = 0;
  std::uint64_t tempFolderBytes = 0;
  std::uint64_t hotfixFolderBytes = 0;
  std::vector<PreviewHotfixTerm> hotfixFolders;
  DWORD kilobytes = 0;  // as GetReclaimableKB gives it
  DWORD limitMB = kDefaultLimitMB;
  std::uint64_t thresholdKB = 0;  // Limit in kilobytes, in 64 bits as the pass reckons it
  bool cleans = false;            // the estimate reaches the threshold
};

struct PreviewReport {
  PreviewGate gate;
  PreviewEstimate estimate;
  std::vector<PreviewItem> items;  // in the order a cleaning would reach them
};

// Reads everything through `platform` and calls nothing that changes the
// machine: listings, attributes, opening and reading registry keys only.
// With `systemTemp`, the temporary folder is SYSTEM's (SystemTempPath), as
// the daily task sees it, rather than this account's.
PreviewReport BuildPreviewReport(Platform& platform, bool systemTemp = false);

// The report's gate and estimate alone, without its items, whose listing
// would walk the temporary folder a second time.
PreviewReport BuildPreviewSummary(Platform& platform, bool systemTemp = false);

// SYSTEM's temporary folder: the machine's TEMP from its environment
// (HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment), its
// %variables% expanded, with a trailing backslash; empty when it cannot be had.
std::string SystemTempPath(Platform& platform);
