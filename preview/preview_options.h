// The preview program's command line: its options and its usage text.
#pragma once

#include <string>
#include <vector>

struct PreviewOptions {
  bool csv = false;   // --csv: the items as CSV rows instead of the text report
  bool help = false;  // --help, -h or /?: the usage text only
  std::string error;  // why the arguments were refused; empty when they were not
};

// Reads the arguments after the program's name. Anything but the options
// above is refused, naming the first argument that is not one.
PreviewOptions ParsePreviewOptions(const std::vector<std::string>& args);

extern const char kPreviewUsage[];
