// Core objects of the utility library: the data buffer and the font.
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

// ---------------------------------------------------------------------------
// Fonts

#ifndef LF_FACESIZE
#define LF_FACESIZE 32
#endif

// Sprites are not provided; DrawTextA takes one only to be called as the platform's is.
struct ID3DXSprite;
typedef ID3DXSprite* LPD3DXSPRITE;

typedef struct _D3DXFONT_DESCA {
    INT Height;
    UINT Width;
    UINT Weight;
    UINT MipLevels;
    BOOL Italic;
    BYTE CharSet;
    BYTE OutputPrecision;
    BYTE Quality;
    BYTE PitchAndFamily;
    CHAR FaceName[LF_FACESIZE];
} D3DXFONT_DESCA, *LPD3DXFONT_DESCA;
typedef D3DXFONT_DESCA D3DXFONT_DESC;

// A font drawn through a device. Texts are Windows-1252.
struct ID3DXFont : public IUnknown {
    virtual HRESULT GetDevice(LPDIRECT3DDEVICE9* ppDevice) = 0;
    // FaceName is the name asked for, not the face the machine substituted.
    virtual HRESULT GetDescA(D3DXFONT_DESCA* pDesc) = 0;
    // There is no GDI device context behind the font: always null.
    virtual HDC GetDC() = 0;
    // The atlas texture holding a glyph (by glyph index), its box in the texture
    // and the pen movement it causes.
    virtual HRESULT GetGlyphData(UINT Glyph, LPDIRECT3DTEXTURE9* ppTexture, RECT* pBlackBox,
                                 POINT* pCellInc) = 0;
    // Rasterise ahead of use: characters (codes First..Last), glyph indices, or a text.
    virtual HRESULT PreloadCharacters(UINT First, UINT Last) = 0;
    virtual HRESULT PreloadGlyphs(UINT First, UINT Last) = 0;
    virtual HRESULT PreloadTextA(LPCSTR pString, INT Count) = 0;
    // Count -1: zero-terminated. Returns the height of the text in pixels, 0 on failure.
    // With DT_CALCRECT nothing is drawn and pRect receives the text's extent.
    virtual INT DrawTextA(LPD3DXSPRITE pSprite, LPCSTR pString, INT Count, LPRECT pRect, DWORD Format,
                          D3DCOLOR Color) = 0;
    // The font keeps nothing in the default pool: both are no-ops.
    virtual HRESULT OnLostDevice() = 0;
    virtual HRESULT OnResetDevice() = 0;
};
typedef ID3DXFont* LPD3DXFONT;

// {D79DBB70-5F21-4D36-BBC2-FF525C213CDC}
extern const IID IID_ID3DXFont;

// Height < 0: character (em) height in pixels; > 0: cell height; 0: a default size.
// Weight 0..1000 (FW_*); the face is asked for by name and the machine's best match
// for it is used. Fails with *ppFont untouched when no face can be had.
HRESULT WINAPI D3DXCreateFontA(LPDIRECT3DDEVICE9 pDevice, INT Height, UINT Width, UINT Weight, UINT MipLevels,
                               BOOL Italic, DWORD CharSet, DWORD OutputPrecision, DWORD Quality,
                               DWORD PitchAndFamily, LPCSTR pFaceName, LPD3DXFONT* ppFont);
#define D3DXCreateFont D3DXCreateFontA
