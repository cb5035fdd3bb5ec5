// The Windows error code for a C library errno, on every platform.
#pragma once

#include "winapi.h"

// ENOENT is 2 for the last component of a path, 3 for a directory on the way.
DWORD code_from_errno(int err, bool last_component = true);
