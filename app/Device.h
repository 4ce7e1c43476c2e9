// The Direct3D object and device, made after the start question.
#pragma once

#include <d3d9.h>

// windowedOnly 1 skips the question; multithreaded 1 asks for a multithreaded device.
HRESULT CreateD3DDevice(IDirect3D9** outD3D, IDirect3DDevice9** outDevice, HWND window,
                        int windowedOnly, int multithreaded);
