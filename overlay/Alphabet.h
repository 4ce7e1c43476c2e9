// Text from a sheet of fixed-size glyph pictures, copied cell by cell into
// locked 32-bit memory. The sheet starts with the space: the cell of code c
// is c - 32, row by row.
#pragma once

#include <windows.h>

#include <d3d9.h>

// The program's sheet, 16 by 32 pixel glyphs; the host that uses the alphabet
// passes it to LoadAlphabet.
extern const char g_AlphabetFile[];

extern IDirect3DSurface9* g_AlphabetSurface;  // the sheet, owned; null when none
extern int g_GlyphWidth;
extern int g_GlyphHeight;
extern int g_GlyphsPerRow;  // sheet width / glyph width
extern int g_AlphabetLoaded;

// Loads the sheet with g_Device; a sheet loaded before goes. E_FAIL without a
// report for a null name, a size not above 0 or a sheet smaller than one
// cell; with one when the file cannot be loaded.
HRESULT LoadAlphabet(const char* file, int glyphWidth, int glyphHeight);
int ReleaseAlphabet();

// Copies the glyph of c with its top-left corner at (x, y) of the destination;
// with keying on, sheet pixels equal to `key` are left out. A space, a code
// whose cell is not on the sheet, or no alphabet: nothing drawn. No clipping:
// the caller keeps the glyph inside the destination.
void PrintChar(int x, int y, char c, int keying, DWORD key, DWORD* bits, int pitch);
// The characters side by side on one row from (x, y).
void PrintString(int x, int y, const char* text, int keying, DWORD key, DWORD* bits, int pitch);
// PrintString into a destination of width x height pixels: what falls outside
// is left out.
void PrintStringClipped(int x, int y, const char* text, int keying, DWORD key, DWORD* bits, int pitch, int width,
                        int height);
