// Test seams of the utility library (namespace platform_testing). The shipped
// program never calls these.
#pragma once

#include <string>
#include <vector>

#include "../win32/wintypes.h"

namespace platform_testing {

// --- fonts ---

// What each D3DXCreateFontA call was given, and what came of it.
struct D3DXFontRecord {
    std::string faceName;  // as asked for ("" for null)
    INT height = 0;
    UINT width = 0;
    UINT weight = 0;
    UINT mipLevels = 0;
    BOOL italic = FALSE;
    DWORD charSet = 0;
    DWORD outputPrecision = 0;
    DWORD quality = 0;
    DWORD pitchAndFamily = 0;
    HRESULT result = S_OK;
    // The face used, when one was found.
    std::string file;
    std::string family;
    bool boldFace = false;     // the file's own face is bold
    bool emboldened = false;   // bold made from a lighter face
    int pixelHeight = 0;       // em height in pixels
    int ascent = 0;            // pixels above the baseline of a line
    int lineHeight = 0;        // pixels of one line
};
// Every D3DXCreateFontA call since the last ResetD3DXFont, in order.
const std::vector<D3DXFontRecord>& D3DXFontsCreated();

// The next D3DXCreateFontA calls fail with `result` (until turned off).
void FailD3DXCreateFont(bool fail, HRESULT result = E_FAIL);

// Faces are looked up among the font files of this directory only (empty: the
// machine's own font configuration, the default).
void UseD3DXFontDirectory(const std::string& directory);

// One DrawTextA call. Recorded only while RecordD3DXTexts is on.
struct D3DXTextRecord {
    std::string text;  // the bytes drawn (Count applied)
    LONG x = 0;        // the rectangle's top-left corner
    LONG y = 0;
    RECT rect = {};
    DWORD color = 0;  // D3DCOLOR
    DWORD format = 0;
    INT result = 0;
    RECT ink = {};  // the pixels the glyphs cover, after clipping; empty when none

};
void RecordD3DXTexts(bool on = true);
const std::vector<D3DXTextRecord>& D3DXTextsDrawn();
void ClearD3DXTexts();

// Back to the defaults: no records, no recording, no failure, the machine's fonts.
void ResetD3DXFont();

// --- meshes ---

// From now on the vertex and index buffer locks of every mesh fail (false:
// they work again), for callers that must survive a failed lock.
void FailD3DXMeshLocks(bool fail);

// D3DXIntersect tests every face of the mesh, as it does for a mesh whose
// contents have just changed, rather than searching the mesh's ray tree.
void ScanD3DXIntersect(bool scan);
// How many ray trees meshes have built since the program started.
unsigned D3DXRayTreesBuilt();

// --- textures ---

// Picture files decoded for textures since the program started. Within one
// load, a file unchanged since well before it was read is decoded once for
// each way of making a texture of it.
unsigned D3DXPicturesDecoded();

// --- shaders ---

// Keeps the assembler's messages out of the debugger output (for the
// fuzzer); the error buffer still receives them.
void QuietD3DXShaderReports(bool quiet);

}  // namespace platform_testing
