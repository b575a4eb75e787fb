#include "preview/preview_report.h"

#include <cstdint>
#include <string_view>
#include <utility>

#include "app/run_cleanup.h"
#include "folders/folder_walk.h"
#include "folders/reclaimable.h"
#include "folders/windows_places.h"
#include "platform/find_data.h"
#include "platform/scoped_handle.h"

using folder_walk::IsFolder;
using folder_walk::IsLink;

namespace {

PreviewEntryKind KindOf(DWORD attributes) {
  if (IsLink(attributes)) return PreviewEntryKind::kLink;
  return IsFolder(attributes) ? PreviewEntryKind::kFolder : PreviewEntryKind::kFile;
}

// Appends one item per top-level entry of the temporary folder, as the pass
// walks it: files and links to delete, folders to delete with their trees,
// and the GUID-shaped folders it keeps. Each entry is sized as the estimate
// sizes it, so the items add up to its term. Nothing is appended when the
// temporary folder cannot be had or opened.
void AddTempFolderItems(Platform& platform, std::vector<PreviewItem>& items) {
  const folder_walk::HeldPlace temp = folder_walk::OpenTempFolder(platform);
  if (!temp) return;
  FolderListing listing(platform, temp.handle.get());
  ListedEntry entry;
  while (listing.Next(entry)) {
    PreviewItem item;
    item.step = PreviewStep::kTempFolderEntry;
    item.kind = KindOf(entry.attributes);
    // Only folders are spared for their names, links to folders included.
    const bool kept = IsFolder(entry.attributes) && IsGuidShapedName(entry.ansi);
    item.action = kept ? PreviewAction::kKeep : PreviewAction::kDelete;
    item.path = temp.text + std::string(entry.ansi);
    item.bytes = kept ? 0 : GetListedEntrySize(platform, temp.handle.get(), entry, 1);
    items.push_back(std::move(item));
  }
}

// Opens the entry the way the pass opens the list before deleting from it.
UninstallState CheckUninstallEntry(Platform& platform, const std::string& keyName) {
  const ScopedRegKey list = OpenRegKey(platform, HKEY_LOCAL_MACHINE, kUninstallKey);
  if (!list) return UninstallState::kUnavailable;
  LSTATUS status = ERROR_SUCCESS;
  if (OpenRegKey(platform, list.get(), keyName.c_str(), &status)) return UninstallState::kPresent;
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
  // Shown only when the estimate could walk it.
  if (folder_walk::HeldPlace temp = folder_walk::OpenTempFolder(platform)) {
    estimate.tempFolder = std::move(temp.text);
  }
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
  const std::string keyName = HotfixKeyNameOf(folder.found);
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

PreviewReport BuildPreviewSummary(Platform& platform) {
  PreviewReport report;
  report.gate = ReadGate(platform);
  report.estimate =
      Estimate(platform, GetReclaimableTerms(platform), report.gate.startToday.limitMB);
  return report;
}
