// The utility library as the program sees it: one header that brings in every part.
#pragma once

#include <d3d9.h>

#include "d3dx9math.h"
#include "d3dx9core.h"
#include "d3dx9mesh.h"
#include "d3dx9tex.h"
#include "d3dx9shader.h"
