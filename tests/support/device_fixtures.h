// The device set-up shared by the tests and the benchmarks: the present
// parameters the program asks for in a window, and devices made with them.
#pragma once

#include "platform/d3d9/d3d9.h"

namespace device_fixtures {

// As the program asks in a window, at the given size: one 32-bit back buffer
// that may be locked, copied on present, a 16-bit depth buffer, no wait for
// the vertical blank.
D3DPRESENT_PARAMETERS WindowedParams(UINT width, UINT height);

// A device of WindowedParams(width, height) on the back end chosen before,
// without a window; CreateDevice's result.
HRESULT CreateWindowedDevice(IDirect3D9* d3d, UINT width, UINT height, IDirect3DDevice9** device,
                             DWORD behavior = D3DCREATE_HARDWARE_VERTEXPROCESSING);

// A device on the null back end, without a window, that holds the only
// reference to its Direct3D object; null when it cannot be made. Without
// the call log when a benchmark would only measure the log.
IDirect3DDevice9* NullDevice(UINT width, UINT height, bool logCalls = true);

}  // namespace device_fixtures
