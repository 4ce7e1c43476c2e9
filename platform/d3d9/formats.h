// Pixel formats the device stores in CPU memory.
#pragma once

#include "d3d9types.h"

namespace d3d9 {

// Bytes per pixel of a format surfaces and textures can have; 0 when unsupported.
inline UINT BytesPerPixel(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_A8R8G8B8:
        case D3DFMT_X8R8G8B8:
        case D3DFMT_A8B8G8R8:
        case D3DFMT_X8B8G8R8:
            return 4;
        case D3DFMT_R5G6B5:
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5:
        case D3DFMT_A4R4G4B4:
        case D3DFMT_X4R4G4B4:
        case D3DFMT_A8L8:
            return 2;
        case D3DFMT_A8:
        case D3DFMT_L8:
            return 1;
        default:
            return 0;
    }
}

inline bool IsBackBufferFormat(D3DFORMAT format) {
    return format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8;
}

inline bool IsDepthFormat(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_D16:
        case D3DFMT_D16_LOCKABLE:
        case D3DFMT_D15S1:
        case D3DFMT_D24S8:
        case D3DFMT_D24X8:
        case D3DFMT_D24X4S4:
        case D3DFMT_D32:
        case D3DFMT_D24FS8:
        case D3DFMT_D32F_LOCKABLE:
            return true;
        default:
            return false;
    }
}

inline bool HasStencil(D3DFORMAT format) {
    return format == D3DFMT_D15S1 || format == D3DFMT_D24S8 || format == D3DFMT_D24X4S4 ||
           format == D3DFMT_D24FS8;
}

// Largest texture or surface edge the device accepts.
constexpr UINT kMaxTextureSize = 8192;

}  // namespace d3d9
