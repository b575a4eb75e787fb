// The entries at the top of the temporary folder, as a cleaning pass empties
// it: the same listing, in its order, with what the pass does to each entry
// and what the estimate counts for it.
#pragma once

#include <vector>

#include "platform/platform.h"
#include "preview/preview_report.h"

// Appends one item per top-level entry that the pass would reach: files and
// links to delete, folders to delete with their trees, and the GUID-shaped
// folders it keeps. Entries whose path the pass could not build are left out,
// as the pass leaves them alone. Nothing is appended when the temporary
// folder cannot be had or listed.
void AddTempFolderItems(Platform& platform, std::vector<PreviewItem>& items);
