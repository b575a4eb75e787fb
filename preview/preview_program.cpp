#include "preview/preview_program.h"

#include "preview/preview_format.h"
#include "preview/preview_options.h"
#include "preview/preview_report.h"

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
  // An unreadable drive must not stop a script at a system error box. Like
  // the cleaner's own start-up, this changes only this process.
  const UINT mode = platform.SetErrorMode(0);
  platform.SetErrorMode(mode | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

  const PreviewReport report = BuildPreviewReport(platform);
  if (options.csv) {
    WritePreviewCsv(out, report);
  } else {
    WritePreviewText(out, report);
  }
  out.flush();
  return kPreviewOk;
}
