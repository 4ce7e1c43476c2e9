#include "font_seams.h"

#include <fontconfig/fontconfig.h>

namespace {

// Immortal: fonts may be made and released during static destruction.
struct SeamState {
    std::vector<platform_testing::D3DXFontRecord> fonts;
    bool fail = false;
    HRESULT failResult = E_FAIL;
    FcConfig* config = nullptr;
    bool recordTexts = false;
    std::vector<platform_testing::D3DXTextRecord> texts;
};

SeamState& S() {
    static SeamState* state = new SeamState;
    return *state;
}

void SetConfig(FcConfig* config) {
    if (S().config) FcConfigDestroy(S().config);
    S().config = config;
}

}  // namespace

namespace d3dx9::font_seams {

HRESULT CreateFailure() { return S().fail ? S().failResult : S_OK; }
FcConfig* Config() { return S().config; }
void Created(platform_testing::D3DXFontRecord record) { S().fonts.push_back(std::move(record)); }
bool RecordingTexts() { return S().recordTexts; }
void Drawn(platform_testing::D3DXTextRecord record) { S().texts.push_back(std::move(record)); }

}  // namespace d3dx9::font_seams

namespace platform_testing {

const std::vector<D3DXFontRecord>& D3DXFontsCreated() { return S().fonts; }

void FailD3DXCreateFont(bool fail, HRESULT result) {
    S().fail = fail;
    S().failResult = result;
}

void UseD3DXFontDirectory(const std::string& directory) {
    if (directory.empty()) {
        SetConfig(nullptr);
        return;
    }
    // A configuration of its own that knows this directory's files and nothing else.
    FcConfig* config = FcConfigCreate();
    if (config) FcConfigAppFontAddDir(config, reinterpret_cast<const FcChar8*>(directory.c_str()));
    SetConfig(config);
}

void RecordD3DXTexts(bool on) { S().recordTexts = on; }
const std::vector<D3DXTextRecord>& D3DXTextsDrawn() { return S().texts; }
void ClearD3DXTexts() { S().texts.clear(); }

void ResetD3DXFont() {
    SetConfig(nullptr);
    SeamState& s = S();
    s = SeamState();
}

}  // namespace platform_testing
