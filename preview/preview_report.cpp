#include "preview/preview_report.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
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
std::int64_t Touched(const ListedEntry& entry) {
  return std::max(entry.creationTime, entry.lastWriteTime);
}

// Appends one item per top-level entry of the temporary folder, as the pass
// walks it under `rules`: files and links to delete or keep, folders to
// empty with their trees, and the GUID-shaped folders it keeps. Each entry is
// sized as the estimate sizes it, so the items add up to its term. Nothing is
// appended when the temporary folder cannot be had or opened.
void AddTempFolderItems(Platform& platform, const std::string* tempText,
                        const folder_walk::CleaningRules& rules, std::int64_t now,
                        std::vector<PreviewItem>& items) {
  const folder_walk::HeldPlace temp = folder_walk::OpenTempFolder(platform, tempText);
  if (!temp) return;
  FolderListing listing(platform, temp.handle.get());
  ListedEntry entry;
  while (listing.Next(entry)) {
    PreviewItem item;
    item.step = PreviewStep::kTempFolderEntry;
    item.kind = KindOf(entry.attributes);
    // Only folders are spared for their names, links to folders included.
    const bool guid = IsFolder(entry.attributes) && IsGuidShapedName(entry.ansi);
    item.recent = !IsFolder(entry.attributes) && rules.KeepsFile(entry);
    item.ageTicks = now - Touched(entry);
    item.action = guid || item.recent ? PreviewAction::kKeep : PreviewAction::kDelete;
    item.path = temp.text + std::string(entry.ansi);
    item.bytes = guid ? 0 : GetListedEntrySize(platform, temp.handle.get(), entry, 1, rules);
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
  gate.now = FileTimeNow(platform);
  return gate;
}

PreviewEstimate Estimate(Platform& platform, const ReclaimableTerms& terms, DWORD limitMB,
                         const std::string* tempText) {
  PreviewEstimate estimate;
  char windows[folder_walk::kWindowsDirectorySize];
  estimate.windowsDirectory = std::string(folder_walk::FetchWindowsDirectory(platform, windows));
  estimate.systemTemp = tempText != nullptr;
  // Shown only when the estimate could walk it.
  if (folder_walk::HeldPlace temp = folder_walk::OpenTempFolder(platform, tempText)) {
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

PreviewItem TmpFileItem(const CountedEntry& file, std::int64_t now) {
  PreviewItem item;
  item.step = PreviewStep::kWindowsTmpFile;
  item.kind = folder_walk::IsLink(file.found.findData.dwFileAttributes) ? PreviewEntryKind::kLink
                                                                        : PreviewEntryKind::kFile;
  item.recent = file.kept;
  item.action = file.kept ? PreviewAction::kKeep : PreviewAction::kDelete;
  item.ageTicks = now - Touched(ListedEntryOf(file.found));
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

std::string SystemTempPath(Platform& platform) {
  const ScopedRegKey environment =
      OpenRegKey(platform, HKEY_LOCAL_MACHINE,
                 "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment");
  char text[MAX_PATH] = {};
  DWORD size = sizeof text - 1, type = REG_NONE;
  if (!environment ||
      platform.RegQueryValueExA(environment.get(), "TEMP", nullptr, &type,
                                reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return {};
  }
  // Each %NAME% as this process's environment has it (SystemRoot is the
  // machine's); a name it does not know leaves nothing to show.
  std::string path;
  for (const char* at = text; *at != '\0'; ++at) {
    const char* end = *at == '%' ? std::strchr(at + 1, '%') : nullptr;
    if (end == nullptr) {
      path += *at;
      continue;
    }
    char value[MAX_PATH] = {};
    const DWORD length =
        platform.GetEnvironmentVariableA(std::string(at + 1, end).c_str(), value, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    path.append(value, length);
    at = end;
  }
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path;
}

namespace {

// The gate, and the estimate's terms under the settings it found, with the
// items left to list (`withItems`) or not.
PreviewReport Build(Platform& platform, bool systemTemp, bool withItems) {
  PreviewReport report;
  report.gate = ReadGate(platform);
  const std::int64_t now = report.gate.now;
  const folder_walk::CleaningRules rules = RulesOf(report.gate.startToday.settings, now);
  const std::string system = systemTemp ? SystemTempPath(platform) : std::string();
  const std::string* tempText = systemTemp ? &system : nullptr;
  const ReclaimableTerms terms = GetReclaimableTerms(platform, rules, tempText);
  report.estimate = Estimate(platform, terms, report.gate.startToday.limitMB, tempText);
  if (!withItems) return report;
  for (const CountedEntry& file : terms.tmpFiles) report.items.push_back(TmpFileItem(file, now));
  AddTempFolderItems(platform, tempText, rules, now, report.items);
  for (const CountedEntry& folder : terms.hotfixFolders) {
    report.items.push_back(HotfixFolderItem(platform, folder));
  }
  return report;
}

}  // namespace

PreviewReport BuildPreviewReport(Platform& platform, bool systemTemp) {
  return Build(platform, systemTemp, true);
}

PreviewReport BuildPreviewSummary(Platform& platform, bool systemTemp) {
  return Build(platform, systemTemp, false);
}
