// The preview program's body, apart from the process it runs in: options,
// report and output, over any platform and any streams.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/platform.h"

// Exit codes.
constexpr int kPreviewOk = 0;
constexpr int kPreviewBadUsage = 2;

// Runs the preview for the arguments after the program's name and returns
// the exit code. The report goes to `out`; a refused argument gets a message
// and the usage text on `err` and kPreviewBadUsage, before anything is read.
int RunPreview(Platform& platform, const std::vector<std::string>& args, std::ostream& out,
               std::ostream& err);
