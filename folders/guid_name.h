// The GUID-shaped folder name rule: installers and updaters keep their working
// folders under such names, so the top of the temporary folder spares them.
#pragma once

#include <string_view>

// True when `name` has "{" at position 0 and "-" at positions 9, 14 and 19.
// Nothing else is looked at (not the hex digits, the length beyond 20, the
// closing brace); a name shorter than 20 characters is never GUID-shaped.
bool IsGuidShapedName(std::string_view name);
