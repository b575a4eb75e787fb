// The preview program's body, apart from the process it runs in: its options
// and usage text, the report and its output, over any platform and any streams.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/platform.h"

// Exit codes.
constexpr int kPreviewOk = 0;
constexpr int kPreviewCheckCleans = 1;  // --check: the estimate reaches the threshold
constexpr int kPreviewBadUsage = 2;

// Runs the preview for the arguments after the program's name and returns
// the exit code. The report goes to `out`; a refused argument gets a message
// and the usage text on `err` and kPreviewBadUsage, before anything is read.
// With --check the report is one line, and the exit code kPreviewCheckCleans
// when the estimate reaches the threshold: the form that the detection step of
// a deployment tool's remediation expects.
int RunPreview(Platform& platform, const std::vector<std::string>& args, std::ostream& out,
               std::ostream& err);

struct PreviewOptions {
  bool csv = false;     // --csv: the items as CSV rows instead of the text report
  bool check = false;   // --check: one line on the estimate and the threshold
  bool system = false;  // --system: SYSTEM's temporary folder, not this account's
  bool help = false;    // --help, -h or /?: the usage text only
  std::string error;    // why the arguments were refused; empty when they were not
};

// Reads the arguments after the program's name. Anything but the options
// above is refused, naming the first argument that is not one.
PreviewOptions ParsePreviewOptions(const std::vector<std::string>& args);

extern const char kPreviewUsage[];
