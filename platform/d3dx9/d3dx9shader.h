// The vertex shader assembler: text of the 1.x assembly language to the token
// stream that IDirect3DDevice9::CreateVertexShader takes.
#pragma once

#include "d3dx9core.h"

typedef struct _D3DXMACRO {
    LPCSTR Name;
    LPCSTR Definition;
} D3DXMACRO, *LPD3DXMACRO;

// Include handlers are not supported (the language here has no #include).
struct ID3DXInclude;
typedef ID3DXInclude* LPD3DXINCLUDE;

// Assembles `SrcDataLen` bytes of source. On success *ppShader holds the
// tokens, ended by the end token. On failure the result is negative, nothing
// is written to *ppShader, and *ppErrorMsgs (when asked for) holds a text that
// names the line: "<source>(<line>): <what is wrong>". The message also goes
// to the debugger output. Macros (beyond an empty list) and include handlers
// are refused; Flags are accepted and ignored.
HRESULT WINAPI D3DXAssembleShader(LPCSTR pSrcData, UINT SrcDataLen, const D3DXMACRO* pDefines,
                                  LPD3DXINCLUDE pInclude, DWORD Flags, LPD3DXBUFFER* ppShader,
                                  LPD3DXBUFFER* ppErrorMsgs);

// The same for a file named by a Windows path; a file that cannot be read
// gives a negative result and a message naming it.
HRESULT WINAPI D3DXAssembleShaderFromFileA(LPCSTR pSrcFile, const D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude,
                                           DWORD Flags, LPD3DXBUFFER* ppShader, LPD3DXBUFFER* ppErrorMsgs);
#define D3DXAssembleShaderFromFile D3DXAssembleShaderFromFileA
