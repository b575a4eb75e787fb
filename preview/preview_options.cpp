#include "preview/preview_options.h"

const char kPreviewUsage[] =
    "Usage: sweepwell-preview [--csv]\n"
    "Shows what a start of sweepwell.exe would do on this machine, changing nothing:\n"
    "the settings key and the daily gate, the reclaimable estimate and its threshold,\n"
    "and what a cleaning would delete, in order.\n"
    "  --csv       print the items as CSV rows, after a header row\n"
    "  --help, -h  print this text\n";

PreviewOptions ParsePreviewOptions(const std::vector<std::string>& args) {
  PreviewOptions options;
  for (const std::string& arg : args) {
    if (arg == "--csv") {
      options.csv = true;
    } else if (arg == "--help" || arg == "-h" || arg == "/?") {
      options.help = true;
    } else {
      options.error = arg.rfind('-', 0) == 0 || arg.rfind('/', 0) == 0
                          ? "unknown option '" + arg + "'"
                          : "unexpected argument '" + arg + "'";
      return options;
    }
  }
  return options;
}
