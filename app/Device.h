// The Direct3D object and device, made after the start question.
#pragma once

#include <d3d9.h>

// windowedOnly 1 skips the question; multithreaded 1 asks for a multithreaded device.
HRESULT CreateD3DDevice(IDirect3D9** outD3D, IDirect3DDevice9** outDevice, HWND window,
                        int windowedOnly, int multithreaded);

// Assembles the vertex shader in `fileName` and creates it; with both
// `declaration` and `outDeclaration`, also the vertex declaration (its result
// is not judged). The assembler's or the device's failing result comes back.
HRESULT CreateVertexShaderFromFile(IDirect3DVertexShader9** outShader, IDirect3DDevice9* device,
                                   const char* fileName, const D3DVERTEXELEMENT9* declaration,
                                   IDirect3DVertexDeclaration9** outDeclaration);
