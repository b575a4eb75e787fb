#include "preview/preview_program.h"

#include "app/cleanup_app.h"
#include "preview/preview_format.h"
#include "preview/preview_report.h"

const char kPreviewUsage[] =
    "Usage: sweepwell-preview [--csv | --check] [--system]\n"
    "Shows what a start of sweepwell.exe would do on this machine, changing nothing:\n"
    "the settings (and where each comes from), the daily gate, the last run's record,\n"
    "the reclaimable estimate and its threshold, and what a cleaning would delete or\n"
    "keep, in order.\n"
    "  --csv       print the items as CSV rows, after a header row\n"
    "  --check     print one line on the estimate and the threshold; exit with 1\n"
    "              when the estimate reaches it (sweepwell.exe 1 would clean), else 0\n"
    "  --system    look at SYSTEM's temporary folder (the machine's TEMP), which the\n"
    "              daily task cleans, rather than this account's\n"
    "  --help, -h  print this text\n";

PreviewOptions ParsePreviewOptions(const std::vector<std::string>& args) {
  PreviewOptions options;
  for (const std::string& arg : args) {
    if (arg == "--csv") {
      options.csv = true;
    } else if (arg == "--check") {
      options.check = true;
    } else if (arg == "--system") {
      options.system = true;
    } else if (arg == "--help" || arg == "-h" || arg == "/?") {
      options.help = true;
    } else {
      options.error = arg.rfind('-', 0) == 0 || arg.rfind('/', 0) == 0
                          ? "unknown option '" + arg + "'"
                          : "unexpected argument '" + arg + "'";
      return options;
    }
  }
  if (options.csv && options.check) options.error = "--csv and --check exclude each other";
  return options;
}

int RunPreview(Platform& platform, const std::vector<std::string>& args, std::ostream& out,
               std::ostream& err) {
  const PreviewOptions options = ParsePreviewOptions(args);
  if (!options.error.empty()) {
    err << "sweepwell-preview: " << options.error << "\n" << kPreviewUsage;
    return kPreviewBadUsage;
  }
  if (options.help) {
    out << kPreviewUsage;
    return kPreviewOk;
  }
  // An unreadable drive must not stop a script at a system error box.
  QuietSystemErrors(platform);

  if (options.check) {
    const PreviewReport summary = BuildPreviewSummary(platform, options.system);
    WritePreviewCheck(out, summary);
    out.flush();
    return summary.estimate.cleans ? kPreviewCheckCleans : kPreviewOk;
  }
  const PreviewReport report = BuildPreviewReport(platform, options.system);
  if (options.csv) {
    WritePreviewCsv(out, report);
  } else {
    WritePreviewText(out, report);
  }
  out.flush();
  return kPreviewOk;
}
