#include "preview/preview_format.h"

#include <cstdint>
#include <cstdio>
#include <utility>

const char kPreviewCsvHeader[] = "step,action,type,bytes,path,uninstall_key,uninstall_key_exists";

namespace {

const char kSettingsKeyName[] = "HKLM\\SOFTWARE\\Brisca\\Sweepwell";
const char kPolicyKeyName[] = "HKLM\\SOFTWARE\\Policies\\Brisca\\Sweepwell";

std::string Number(std::uint64_t value) { return std::to_string(value); }

// "  12345 KB", right-aligned so that a column of them lines up.
std::string KilobyteColumn(std::uint64_t bytes) {
  const std::string number = Number(bytes / 1024);
  return std::string(number.size() < 12 ? 12 - number.size() : 0, ' ') + number + " KB";
}

std::string TypeName(DWORD type) {
  switch (type) {
    case REG_NONE:
      return "REG_NONE";
    case REG_SZ:
      return "REG_SZ";
    case REG_EXPAND_SZ:
      return "REG_EXPAND_SZ";
    case REG_BINARY:
      return "REG_BINARY";
    case REG_DWORD:
      return "REG_DWORD";
    case REG_MULTI_SZ:
      return "REG_MULTI_SZ";
    case REG_QWORD:
      return "REG_QWORD";
    default:
      return "type " + Number(type);
  }
}

// A stored text as it can be shown on one line: control bytes as \xNN.
std::string Printable(std::string_view text) {
  std::string shown;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned>(byte));
      shown += escaped;
    } else {
      shown += c;
    }
  }
  return shown;
}

// The date as read, with what about it is out of the ordinary; only its bytes
// decide the day, whatever its type.
std::string DateText(const StoredDate& date) {
  if (date.status == ERROR_FILE_NOT_FOUND) return "missing";
  if (date.status == ERROR_MORE_DATA) return "longer than 200 bytes: counts as another day";
  if (date.status != ERROR_SUCCESS) {
    return "cannot be read (error " + Number(static_cast<std::uint64_t>(date.status)) +
           "): counts as another day";
  }
  const std::size_t end = date.bytes.find('\0');
  std::string notes = date.type != REG_SZ ? "stored as " + TypeName(date.type) : "";
  const auto note = [&notes](const std::string& text) {
    notes += (notes.empty() ? "" : "; ") + text;
  };
  if (end == std::string::npos) {
    note("no terminating zero: counts as another day");
  } else if (end + 1 < date.bytes.size()) {
    note("and " + Number(date.bytes.size() - end - 1) + " more bytes after its end");
  }
  const std::string text = "\"" + Printable(std::string_view(date.bytes).substr(0, end)) + "\"";
  return notes.empty() ? text : text + " (" + notes + ")";
}

// Why a stored number gives no value of its own, to follow "... is"; empty
// when it gives one.
std::string NumberFault(const StoredNumber& number) {
  const std::string type = TypeName(number.type);
  const bool text = IsTextLimitType(number.type);
  if (number.status == ERROR_FILE_NOT_FOUND) return "missing";
  if (number.status == ERROR_MORE_DATA) {
    return text ? "a " + type + " longer than " + Number(kLimitReadLimit - 1) + " characters"
                : "a " + type + " longer than 4 bytes";
  }
  if (number.status != ERROR_SUCCESS) {
    return "unreadable (error " + Number(static_cast<std::uint64_t>(number.status)) + ")";
  }
  if (number.fromValue) return "";
  return text ? "\"" + Printable(number.text) + "\" as " + type +
                    ", not a decimal number up to 4294967295"
              : "a " + type + " longer than 4 bytes";
}

std::string StoredAs(const StoredNumber& number) {
  return number.type == REG_DWORD ? "" : ", stored as " + TypeName(number.type);
}

// Where a setting's value came from, and why not from a key that holds one
// that cannot be read: "policy", "settings key, stored as REG_SZ",
// "default: Limit in the settings key is ...".
std::string SourceText(const Setting& setting, const char* name) {
  switch (setting.source) {
    case SettingSource::kPolicy:
      return "policy" + StoredAs(setting.policy);
    case SettingSource::kSettings:
      return "settings key" + StoredAs(setting.settings);
    case SettingSource::kDefault:
      break;
  }
  std::string text = "default";
  for (const auto& [stored, where] :
       {std::pair<const StoredNumber&, const char*>{setting.policy, " in the policy"},
        {setting.settings, " in the settings key"}}) {
    if (stored.status == ERROR_FILE_NOT_FOUND) continue;
    text += (text == "default" ? ": " : "; ") + std::string(name) + where + " is " +
            NumberFault(stored);
  }
  return text;
}

void WriteSettings(std::ostream& out, const RunSettings& run) {
  out << "  Limit            " << run.limitMB.value << " MB (" << SourceText(run.limitMB, "Limit")
      << ")\n";
  const DWORD days = run.keepDays.value;
  out << "  KeepDays         " << days
      << (days == 0   ? ""
          : days == 1 ? " day"
                      : " days")
      << " (" << SourceText(run.keepDays, "KeepDays") << "): "
      << (days == 0 ? "no age rule"
                    : "files touched in the last " + Number(days) + " days are kept")
      << "\n";
  const bool skip = run.skipUndeletable.value != 0;
  out << "  SkipUndeletable  " << run.skipUndeletable.value << " ("
      << SourceText(run.skipUndeletable, "SkipUndeletable") << "): a file that cannot be deleted "
      << (skip ? "is passed over" : "ends the emptying of its folder") << "\n";
}

void WriteRecord(std::ostream& out, const StoredRecord& record) {
  const auto number = [](const StoredNumber& stored) {
    return stored.fromValue ? Number(stored.value) : std::string("none");
  };
  out << "The last run that passed the gate\n";
  out << "  LastEstimateKB   " << number(record.estimateKB) << "\n";
  out << "  LastCleaned      " << (record.cleaned.empty() ? "never" : Printable(record.cleaned))
      << "\n";
  out << "  LastFreedKB      " << number(record.freedKB) << "\n";
}

void WriteGate(std::ostream& out, const PreviewGate& gate) {
  out << "Settings (each from the policy key " << kPolicyKeyName << " first, then the settings key "
      << kSettingsKeyName << ")\n";
  if (!gate.settings.keyExists) {
    out << "  the settings key does not exist\n";
  } else {
    out << "  ExecuteDate      " << DateText(gate.settings.date) << "\n";
  }
  WriteSettings(out, gate.settings.run);
  if (gate.settings.keyExists) WriteRecord(out, gate.settings.record);
  out << "Today is " << gate.today << ". A start without an argument would ";
  if (!gate.settings.keyExists) {
    out << "pass the gate as a first start, making the key with today's date and Limit "
        << kDefaultLimitMB << ".\n";
  } else if (gate.startToday.run) {
    out << "pass the gate (no run recorded today) and store today's date.\n";
  } else {
    out << "end at the gate: a run already happened today. A start with a non-zero argument "
           "(sweepwell.exe 1) would pass it.\n";
  }
}

void WriteEstimate(std::ostream& out, const PreviewEstimate& estimate) {
  out << "\nEstimate: " << estimate.kilobytes << " KB, the sum in bytes of\n";
  out << KilobyteColumn(estimate.tmpFileBytes) << "  *.tmp files directly in "
      << (estimate.windowsDirectory.empty() ? "the Windows directory (not available)"
                                            : estimate.windowsDirectory)
      << " (" << estimate.tmpFileBytes << " bytes)\n";
  out << KilobyteColumn(estimate.tempFolderBytes) << "  the temporary folder "
      << (estimate.systemTemp ? "of SYSTEM " : "")
      << (estimate.tempFolder.empty() ? "(not available)" : estimate.tempFolder)
      << ", GUID-shaped folders at its top left out (" << estimate.tempFolderBytes << " bytes)\n";
  out << KilobyteColumn(estimate.hotfixFolderBytes) << "  hotfix backup folders ("
      << estimate.hotfixFolderBytes << " bytes)"
      << (estimate.hotfixFolders.empty() ? ": none" : ":") << "\n";
  for (const PreviewHotfixTerm& folder : estimate.hotfixFolders) {
    out << KilobyteColumn(folder.bytes) << "    " << folder.path << " (" << folder.bytes
        << " bytes)\n";
  }
  out << "Threshold: Limit " << estimate.limitMB << " MB = " << estimate.thresholdKB
      << " KB. The estimate "
      << (estimate.cleans ? "reaches it: a pass would clean.\n"
                          : "is below it: a pass would delete nothing.\n");
}

const char* StepHeading(PreviewStep step) {
  switch (step) {
    case PreviewStep::kWindowsTmpFile:
      return "1. *.tmp files directly in the Windows directory";
    case PreviewStep::kTempFolderEntry:
      return "2. the temporary folder's contents (the folder stays)";
    case PreviewStep::kHotfixFolder:
      return "3. hotfix backup folders and their uninstall entries";
  }
  return "";
}

const char* KindWord(PreviewEntryKind kind) {
  switch (kind) {
    case PreviewEntryKind::kFile:
      return "file";
    case PreviewEntryKind::kFolder:
      return "folder";
    case PreviewEntryKind::kLink:
      return "link";
  }
  return "";
}

const char* UninstallWords(UninstallState state) {
  switch (state) {
    case UninstallState::kNone:
      return "";
    case UninstallState::kPresent:
      return "it exists";
    case UninstallState::kAbsent:
      return "it does not exist";
    case UninstallState::kUnknown:
      return "it cannot be opened: whether it exists is not known";
    case UninstallState::kUnavailable:
      return "the installed-software list cannot be opened: nothing would be deleted";
  }
  return "";
}

const char* ExistsField(UninstallState state) {
  switch (state) {
    case UninstallState::kNone:
      return "";
    case UninstallState::kPresent:
      return "yes";
    case UninstallState::kAbsent:
      return "no";
    case UninstallState::kUnknown:
    case UninstallState::kUnavailable:
      return "unknown";
  }
  return "";
}

const char* StepField(PreviewStep step) {
  switch (step) {
    case PreviewStep::kWindowsTmpFile:
      return "tmp-file";
    case PreviewStep::kTempFolderEntry:
      return "temp-entry";
    case PreviewStep::kHotfixFolder:
      return "hotfix-folder";
  }
  return "";
}

std::string UninstallKeyName(const PreviewItem& item) {
  return item.uninstallKey.empty() ? std::string() : "HKLM\\" + item.uninstallKey;
}

// How long ago a kept file was touched, in whole days.
std::string AgeText(std::int64_t ticks) {
  constexpr std::int64_t kTicksPerDay = 864000000000;
  if (ticks < 0) return "in the future";
  const std::int64_t days = ticks / kTicksPerDay;
  return days == 0
             ? "less than a day ago"
             : Number(static_cast<std::uint64_t>(days)) + (days == 1 ? " day ago" : " days ago");
}

void WriteItem(std::ostream& out, const PreviewItem& item) {
  const bool keep = item.action == PreviewAction::kKeep;
  out << "  " << (keep ? "keep  " : "delete") << "  " << KindWord(item.kind);
  out << std::string(item.kind == PreviewEntryKind::kFolder ? 2 : 4, ' ') << item.path;
  if (keep && item.recent) {
    out << "  (touched " << AgeText(item.ageTicks) << ": recent, by KeepDays)";
  } else if (keep) {
    out << "  (GUID-shaped name)";
  } else if (item.kind == PreviewEntryKind::kLink) {
    out << "  (removed as a link, never followed)";
  } else {
    out << "  (" << item.bytes << " bytes)";
  }
  out << "\n";
  if (item.step == PreviewStep::kHotfixFolder) {
    if (item.uninstallKey.empty()) {
      out << "                  no uninstall entry: the name holds no KB number closed by \"$\"\n";
    } else {
      out << "                  and the uninstall entry " << UninstallKeyName(item) << ": "
          << UninstallWords(item.uninstall) << "\n";
    }
  }
}

void WriteItems(std::ostream& out, const PreviewReport& report) {
  out << "\nA cleaning would act on these, in this order"
      << (report.estimate.cleans ? "" : " (this estimate would not start one)") << ":\n";
  for (PreviewStep step :
       {PreviewStep::kWindowsTmpFile, PreviewStep::kTempFolderEntry, PreviewStep::kHotfixFolder}) {
    out << StepHeading(step) << "\n";
    bool any = false;
    for (const PreviewItem& item : report.items) {
      if (item.step != step) continue;
      WriteItem(out, item);
      any = true;
    }
    if (!any) out << "  (none)\n";
  }
  out << (report.gate.startToday.settings.skipUndeletable.value != 0
              ? "A file that cannot be deleted (in use, say) is passed over, and its folder "
                "stays.\n"
              : "A file that cannot be deleted (in use, say) ends the emptying of its folder: the "
                "entries listed after it stay.\n");
}

}  // namespace

std::string CsvField(std::string_view text) {
  const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                     (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quote) return std::string(text);
  std::string field = "\"";
  for (char c : text) {
    if (c == '"') field += '"';
    field += c;
  }
  field += '"';
  return field;
}

void WritePreviewText(std::ostream& out, const PreviewReport& report) {
  out << "Sweepwell preview: what a start would do on this machine. Nothing has been changed.\n\n";
  WriteGate(out, report.gate);
  WriteEstimate(out, report.estimate);
  out << "So a start today without an argument would "
      << (!report.gate.startToday.run ? "end at the gate and delete nothing.\n"
          : report.estimate.cleans    ? "clean: it would delete what follows.\n"
                                      : "pass the gate and delete nothing.\n");
  WriteItems(out, report);
}

void WritePreviewCheck(std::ostream& out, const PreviewReport& report) {
  const PreviewEstimate& estimate = report.estimate;
  const GateSettings& settings = report.gate.settings;
  const Setting& limit = settings.run.limitMB;
  out << "Reclaimable " << estimate.kilobytes << " KB, threshold " << estimate.thresholdKB
      << " KB (Limit " << estimate.limitMB << " MB, ";
  if (limit.source == SettingSource::kPolicy) {
    out << "set by policy" << StoredAs(limit.policy);
  } else if (limit.source == SettingSource::kSettings) {
    out << "stored as " << TypeName(limit.settings.type);
  } else if (!settings.keyExists) {
    out << "the default: no settings key";
  } else {
    out << "the default: Limit is " << NumberFault(limit.settings);
  }
  if (settings.run.keepDays.value != 0) {
    out << "; files of the last " << settings.run.keepDays.value << " days kept";
  }
  out << "): a forced start would " << (estimate.cleans ? "clean" : "delete nothing") << ".\n";
}

void WritePreviewCsv(std::ostream& out, const PreviewReport& report) {
  out << kPreviewCsvHeader << "\n";
  for (const PreviewItem& item : report.items) {
    out << StepField(item.step) << ',' << (item.action == PreviewAction::kKeep ? "keep" : "delete")
        << ',' << KindWord(item.kind) << ',' << item.bytes << ',' << CsvField(item.path) << ','
        << CsvField(UninstallKeyName(item)) << ',' << ExistsField(item.uninstall) << "\n";
  }
}
