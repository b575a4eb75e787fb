// The search for the "*.tmp" files directly in the Windows directory, which
// the estimate counts and the cleaning pass deletes.
#pragma once

#include <string_view>

#include "search/file_finder.h"

FindSpec WindowsTmpFilesSpec(std::string_view windowsDirectory);
