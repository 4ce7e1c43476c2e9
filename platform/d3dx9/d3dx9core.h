// Core objects of the utility library: the data buffer (and, with the font, ID3DXFont).
#pragma once

#include <d3d9.h>

#include "com_object.h"

// A block of bytes handed out by the library (mesh adjacency, materials, shader code).
struct ID3DXBuffer : public IUnknown {
    virtual LPVOID GetBufferPointer() = 0;
    virtual DWORD GetBufferSize() = 0;
};
typedef ID3DXBuffer* LPD3DXBUFFER;

// {8BA5FB08-5195-40E2-AC58-0D989C3A0102}
extern const IID IID_ID3DXBuffer;

// A new zero-filled buffer of `numBytes` bytes (family D3DX).
HRESULT WINAPI D3DXCreateBuffer(DWORD numBytes, LPD3DXBUFFER* ppBuffer);
