#pragma once
// The Win32 view of the platform (filled in by its owner).
#include "wintypes.h"
