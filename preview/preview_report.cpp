#include "preview/preview_report.h"

#include <string_view>
#include <utility>

#include "app/hotfix_key.h"
#include "app/run_cleanup.h"
#include "folders/entry_check.h"
#include "folders/reclaimable.h"
#include "folders/system_folders.h"
#include "platform/find_data.h"
#include "platform/scoped_handle.h"
#include "preview/temp_folder_items.h"

namespace {

// Opens the entry the way the pass opens the list before deleting from it.
UninstallState CheckUninstallEntry(Platform& platform, const std::string& keyName) {
  ScopedRegKey list(platform);
  if (platform.RegOpenKeyA(HKEY_LOCAL_MACHINE, kUninstallKey, list.receive()) != ERROR_SUCCESS) {
    list.release();  // a failed open leaves no handle to close
    return UninstallState::kUnavailable;
  }
  ScopedRegKey entry(platform);
  const LSTATUS status = platform.RegOpenKeyA(list.get(), keyName.c_str(), entry.receive());
  if (status == ERROR_SUCCESS) return UninstallState::kPresent;
  entry.release();
  return status == ERROR_FILE_NOT_FOUND ? UninstallState::kAbsent : UninstallState::kUnknown;
}

PreviewGate ReadGate(Platform& platform) {
  PreviewGate gate;
  SYSTEMTIME now{};
  platform.GetLocalTime(&now);
  gate.today = FormatRunDate(now);
  gate.settings = ReadGateSettings(platform);
  gate.startToday = PeekRunGate(gate.settings, gate.today, 0);
  return gate;
}

PreviewEstimate Estimate(Platform& platform, const ReclaimableTerms& terms, DWORD limitMB) {
  PreviewEstimate estimate;
  char windows[folder_walk::kWindowsDirectorySize];
  estimate.windowsDirectory = std::string(folder_walk::FetchWindowsDirectory(platform, windows));
  char temp[folder_walk::kTempPathSize];
  estimate.tempFolder = std::string(folder_walk::FetchTempPath(platform, temp));
  estimate.tmpFileBytes = terms.tmpFileBytes;
  estimate.tempFolderBytes = terms.tempFolderBytes;
  estimate.hotfixFolderBytes = terms.hotfixFolderBytes;
  for (const CountedEntry& folder : terms.hotfixFolders) {
    estimate.hotfixFolders.push_back({folder.path, folder.bytes});
  }
  estimate.kilobytes = KilobytesOf(TotalBytes(terms));
  estimate.limitMB = limitMB;
  estimate.thresholdKB = ThresholdKB(limitMB);
  estimate.cleans = ReachesThreshold(estimate.kilobytes, limitMB);
  return estimate;
}

PreviewItem TmpFileItem(const CountedEntry& file) {
  PreviewItem item;
  item.step = PreviewStep::kWindowsTmpFile;
  item.kind = folder_walk::IsLink(file.found.findData.dwFileAttributes) ? PreviewEntryKind::kLink
                                                                        : PreviewEntryKind::kFile;
  item.path = file.path;
  item.bytes = file.bytes;
  return item;
}

PreviewItem HotfixFolderItem(Platform& platform, const CountedEntry& folder) {
  PreviewItem item;
  item.step = PreviewStep::kHotfixFolder;
  item.kind = folder_walk::IsLink(folder.found.findData.dwFileAttributes)
                  ? PreviewEntryKind::kLink
                  : PreviewEntryKind::kFolder;
  item.path = folder.path;
  item.bytes = folder.bytes;
  const std::string keyName = HotfixKeyName(std::string(EntryName(folder.found.findData)));
  if (!keyName.empty()) {
    item.uninstallKey = std::string(kUninstallKey) + "\\" + keyName;
    item.uninstall = CheckUninstallEntry(platform, keyName);
  }
  return item;
}

}  // namespace

PreviewReport BuildPreviewReport(Platform& platform) {
  PreviewReport report;
  report.gate = ReadGate(platform);
  const ReclaimableTerms terms = GetReclaimableTerms(platform);
  report.estimate = Estimate(platform, terms, report.gate.startToday.limitMB);

  for (const CountedEntry& file : terms.tmpFiles) report.items.push_back(TmpFileItem(file));
  AddTempFolderItems(platform, report.items);
  for (const CountedEntry& folder : terms.hotfixFolders) {
    report.items.push_back(HotfixFolderItem(platform, folder));
  }
  return report;
}
