// Seams that let tests drive the layer: one header per interface, brought together here.
// The shipped program never calls these.
#pragma once

#include "platform/win32/testing_win32.h"
#include "platform/d3d9/testing_d3d9.h"
#include "platform/d3dx9/testing_d3dx9.h"
#include "platform/dinput/testing_dinput.h"
#include "platform/xfile/testing_xfile.h"
#include "platform/collision/testing_collision.h"
