// The library's side of the font seams (testing_d3dx9.h).
#pragma once

#include "font_face.h"
#include "testing_d3dx9.h"

namespace d3dx9::font_seams {

// The forced result of D3DXCreateFontA, S_OK when none.
HRESULT CreateFailure();
// The font configuration faces are looked up in; null for the machine's own.
FcConfig* Config();
void Created(platform_testing::D3DXFontRecord record);
bool RecordingTexts();
void Drawn(platform_testing::D3DXTextRecord record);

}  // namespace d3dx9::font_seams
