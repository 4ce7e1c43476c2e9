// Where each component of a flexible vertex format lies in a vertex.
#pragma once

#include <d3d9.h>

namespace d3dx {

// Offsets in bytes; -1 for a component the format lacks.
struct FvfLayout {
    UINT stride = 0;
    int position = -1;
    UINT positionBytes = 0;  // xyz, plus rhw, w or blend weights
    int normal = -1;
    int pointSize = -1;
    int diffuse = -1;
    int specular = -1;
    UINT texSets = 0;
    int tex[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    UINT texBytes[8] = {};
    bool valid = false;  // false for formats the platform would refuse
};

FvfLayout LayoutOf(DWORD fvf);

}  // namespace d3dx
