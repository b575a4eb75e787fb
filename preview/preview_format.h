// Renders a preview report: readable text for an administrator, CSV rows (one
// per item, after a header row) for scripts, or the one line of --check.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "preview/preview_report.h"

// The CSV header: step,action,type,bytes,path,uninstall_key,uninstall_key_exists
extern const char kPreviewCsvHeader[];

// The settings key, the gate, the estimate with its terms, the threshold
// decision and the items in the order a cleaning would reach them.
void WritePreviewText(std::ostream& out, const PreviewReport& report);

// One line for a deployment tool's detection step: the estimate, the
// threshold, and where Limit came from (its stored type, or why the default).
void WritePreviewCheck(std::ostream& out, const PreviewReport& report);

// The header row, then one row per item in order. Lines end in "\n", which a
// text-mode stream on Windows writes as CRLF.
void WritePreviewCsv(std::ostream& out, const PreviewReport& report);

// One CSV field: quoted, with its quotes doubled, when it holds a comma, a
// quote, a line break or a blank at either end; otherwise as it is.
std::string CsvField(std::string_view text);
