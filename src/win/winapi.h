// The platform seam on Windows: kernel32 itself.
#pragma once

#include <windows.h>
