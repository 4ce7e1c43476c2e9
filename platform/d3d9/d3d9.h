#pragma once
// The Direct3D 9 interface (filled in by its owner).
#include <windows.h>
#include "d3d9math_types.h"
