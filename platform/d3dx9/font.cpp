// The font object: D3DXCreateFontA and ID3DXFont, drawn as textured quads
// through the device's public interface.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include "d3dx9core.h"
#include "font_atlas.h"
#include "font_face.h"
#include "font_render_state.h"
#include "font_seams.h"
#include "platform/win32/text.h"

const IID IID_ID3DXFont = {0xd79dbb70, 0x5f21, 0x4d36, {0xbb, 0xc2, 0xff, 0x52, 0x5c, 0x21, 0x3c, 0xdc}};

namespace d3dx9 {

namespace {

struct TextVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
    float u, v;
};
static_assert(sizeof(TextVertex) == 28, "XYZRHW | DIFFUSE | TEX1");
constexpr DWORD kTextFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// 26.6 to the nearest whole pixel.
int64_t RoundPixels(int64_t v) { return v >= 0 ? (v + 32) / 64 : -((-v + 31) / 64); }

LONG ClampLong(int64_t v) { return static_cast<LONG>(std::min<int64_t>(std::max<int64_t>(v, INT32_MIN), INT32_MAX)); }

// A glyph as the font keeps it.
struct Glyph {
    int page = -1;  // -1: nothing to draw (a space, or a glyph that failed)
    RECT box = {};  // in the page
    int left = 0;   // bitmap offset from the pen
    int top = 0;    // bitmap top above the baseline
    long advance = 0;
};

class Font final : public layer::RefCounted<ID3DXFont, layer::ObjectFamily::D3DX> {
public:
    Font(IDirect3DDevice9* device, const D3DXFONT_DESCA& desc, std::unique_ptr<Face> face, bool embolden)
        : device_(layer::ComPtr<IDirect3DDevice9>::Retain(device)),
          desc_(desc),
          face_(std::move(face)),
          embolden_(embolden),
          antialiased_(desc.Quality != NONANTIALIASED_QUALITY),
          atlas_(device) {
        for (int b = 0; b < 256; ++b)
            glyphOfByte_[b] = face_->GlyphIndex(layer::Cp1252CodePoint(static_cast<unsigned char>(b)));
    }

    HRESULT GetDevice(LPDIRECT3DDEVICE9* ppDevice) override {
        if (!ppDevice) return D3DERR_INVALIDCALL;
        device_->AddRef();
        *ppDevice = device_.get();
        return D3D_OK;
    }

    HRESULT GetDescA(D3DXFONT_DESCA* pDesc) override {
        if (!pDesc) return D3DERR_INVALIDCALL;
        *pDesc = desc_;
        return D3D_OK;
    }

    HDC GetDC() override { return nullptr; }

    HRESULT GetGlyphData(UINT index, LPDIRECT3DTEXTURE9* ppTexture, RECT* pBlackBox, POINT* pCellInc) override {
        const Glyph* glyph = Load(index);
        if (!glyph) return D3DERR_INVALIDCALL;
        if (ppTexture) {
            IDirect3DTexture9* texture = glyph->page >= 0 ? atlas_.Texture(glyph->page) : nullptr;
            if (texture) texture->AddRef();
            *ppTexture = texture;
        }
        if (pBlackBox) *pBlackBox = glyph->box;
        if (pCellInc) *pCellInc = POINT{ClampLong(RoundPixels(glyph->advance)), 0};
        return D3D_OK;
    }

    HRESULT PreloadCharacters(UINT First, UINT Last) override {
        for (UINT c = First; c <= Last && c < 256; ++c)
            if (!LoadByte(static_cast<unsigned char>(c))) return D3DERR_INVALIDCALL;
        return D3D_OK;
    }

    HRESULT PreloadGlyphs(UINT First, UINT Last) override {
        for (UINT g = First; g <= Last; ++g) {
            if (!Load(g)) return D3DERR_INVALIDCALL;
            if (g == Last) break;  // Last may be the largest UINT
        }
        return D3D_OK;
    }

    HRESULT PreloadTextA(LPCSTR pString, INT Count) override {
        if (!pString) return D3DERR_INVALIDCALL;
        const size_t n = TextLength(pString, Count);
        for (size_t i = 0; i < n; ++i)
            if (!LoadByte(static_cast<unsigned char>(pString[i]))) return D3DERR_INVALIDCALL;
        return D3D_OK;
    }

    INT DrawTextA(LPD3DXSPRITE pSprite, LPCSTR pString, INT Count, LPRECT pRect, DWORD Format,
                  D3DCOLOR Color) override;

    HRESULT OnLostDevice() override { return D3D_OK; }
    HRESULT OnResetDevice() override { return D3D_OK; }

protected:
    bool Implements(REFIID riid) const override { return IsEqualGUID(riid, IID_ID3DXFont); }

private:
    // Bytes of the text to draw: up to Count (negative: all), never past its end.
    static size_t TextLength(LPCSTR text, INT count) {
        if (count < 0) return std::strlen(text);
        const void* end = std::memchr(text, 0, static_cast<size_t>(count));
        return end ? static_cast<size_t>(static_cast<const char*>(end) - text) : static_cast<size_t>(count);
    }

    // The glyph, rasterised into the atlas on first use; null when the atlas has no room.
    const Glyph* Load(UINT index);
    const Glyph* LoadByte(unsigned char byte) {
        if (!glyphOfByteLoaded_[byte]) glyphOfByteLoaded_[byte] = Load(glyphOfByte_[byte]);
        return glyphOfByteLoaded_[byte];
    }
    // Lays out and draws (or only measures) the text; the text's height, 0 on failure.
    INT Layout(const char* text, size_t length, RECT* rect, DWORD format, D3DCOLOR color);
    void AddQuad(int page, int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t u0, int64_t v0,
                 D3DCOLOR color);
    bool Draw();

    layer::ComPtr<IDirect3DDevice9> device_;
    D3DXFONT_DESCA desc_;
    std::unique_ptr<Face> face_;
    bool embolden_;
    bool antialiased_;
    GlyphAtlas atlas_;
    UINT glyphOfByte_[256];
    const Glyph* glyphOfByteLoaded_[256] = {};  // map nodes do not move
    std::unordered_map<UINT, Glyph> glyphs_;
    GlyphBitmap bitmap_;  // scratch, reused
    RECT ink_ = {};  // of the call being drawn
    // The quads of the call being drawn, by atlas page; kept to avoid allocating per call.
    std::vector<std::vector<TextVertex>> quads_;
};

const Glyph* Font::Load(UINT index) {
    auto found = glyphs_.find(index);
    if (found != glyphs_.end()) return &found->second;
    Glyph glyph;
    if (face_->Render(index, embolden_, antialiased_, &bitmap_)) {
        glyph.left = bitmap_.left;
        glyph.top = bitmap_.top;
        glyph.advance = bitmap_.advance;
        if (bitmap_.width > 0 && bitmap_.height > 0 && !atlas_.Place(bitmap_, &glyph.page, &glyph.box))
            return nullptr;  // not kept: a later call may find room
    }
    return &glyphs_.emplace(index, glyph).first->second;
}

INT Font::Layout(const char* text, size_t length, RECT* rect, DWORD format, D3DCOLOR color) {
    const bool single = (format & DT_SINGLELINE) != 0;
    const bool clip = (format & DT_NOCLIP) == 0;
    const int64_t lineHeight = face_->LineHeight();
    // In 64 bits: neither a rectangle at the edge of the range nor a huge text overflows.
    const int64_t left = rect->left, top = rect->top, right = rect->right, bottom = rect->bottom;

    // Lines end at a line feed (a carriage return before it is dropped).
    auto lineEnd = [&](size_t from) {
        if (single) return length;
        const void* lf = std::memchr(text + from, '\n', length - from);
        return lf ? static_cast<size_t>(static_cast<const char*>(lf) - text) : length;
    };
    auto visibleEnd = [&](size_t begin, size_t end) {
        return !single && end > begin && text[end - 1] == '\r' ? end - 1 : end;
    };
    // The width of a line from the advances and the kerning; -1 when a glyph cannot be had.
    auto measure = [&](size_t begin, size_t end) {
        int64_t pen = 0;
        UINT previous = 0;
        for (size_t i = begin; i < end; ++i) {
            const unsigned char byte = static_cast<unsigned char>(text[i]);
            const Glyph* glyph = LoadByte(byte);
            if (!glyph) return int64_t(-1);
            pen += face_->Kerning(previous, glyphOfByte_[byte]) + glyph->advance;
            previous = glyphOfByte_[byte];
        }
        return RoundPixels(pen);
    };

    // Every glyph is loaded before anything is drawn, so that a failure draws nothing.
    int64_t lines = 0, widest = 0;
    for (size_t begin = 0;;) {
        const size_t end = lineEnd(begin);
        const int64_t width = measure(begin, visibleEnd(begin, end));
        if (width < 0) return 0;
        widest = std::max(widest, width);
        ++lines;
        if (end >= length) break;
        begin = end + 1;
    }
    const int64_t height = lines * lineHeight;

    if (format & DT_CALCRECT) {
        rect->right = ClampLong(left + widest);
        rect->bottom = ClampLong(top + height);
        return static_cast<INT>(std::min<int64_t>(height, INT32_MAX));
    }

    int64_t firstTop = top;
    if (single && (format & DT_BOTTOM)) firstTop = bottom - height;
    else if (single && (format & DT_VCENTER)) firstTop = top + (bottom - top - height) / 2;

    ink_ = RECT{};
    for (std::vector<TextVertex>& page : quads_) page.clear();
    quads_.resize(std::max(quads_.size(), static_cast<size_t>(atlas_.Pages())));

    int64_t baseline = firstTop + face_->Ascent();
    for (size_t begin = 0;; baseline += lineHeight) {
        const size_t end = lineEnd(begin);
        const size_t visible = visibleEnd(begin, end);
        int64_t x = left;
        if (format & DT_RIGHT) x = right - measure(begin, visible);
        else if (format & DT_CENTER) x = left + (right - left - measure(begin, visible)) / 2;

        int64_t pen = 0;
        UINT previous = 0;
        for (size_t i = begin; i < visible; ++i) {
            const unsigned char byte = static_cast<unsigned char>(text[i]);
            const Glyph* glyph = LoadByte(byte);  // loaded while measuring
            pen += face_->Kerning(previous, glyphOfByte_[byte]);
            previous = glyphOfByte_[byte];
            if (glyph->page >= 0) {
                // On whole pixels: one texel per pixel.
                int64_t x0 = x + RoundPixels(pen) + glyph->left, y0 = baseline - glyph->top;
                int64_t x1 = x0 + (glyph->box.right - glyph->box.left);
                int64_t y1 = y0 + (glyph->box.bottom - glyph->box.top);
                int64_t u0 = glyph->box.left, v0 = glyph->box.top;
                if (clip) {
                    const int64_t cx0 = std::max(x0, left), cy0 = std::max(y0, top);
                    u0 += cx0 - x0;
                    v0 += cy0 - y0;
                    x0 = cx0, y0 = cy0, x1 = std::min(x1, right), y1 = std::min(y1, bottom);
                }
                if (x1 > x0 && y1 > y0) AddQuad(glyph->page, x0, y0, x1, y1, u0, v0, color);
            }
            pen += glyph->advance;
        }
        if (end >= length) break;
        begin = end + 1;
    }
    return Draw() ? static_cast<INT>(std::min<int64_t>(height, INT32_MAX)) : 0;
}

void Font::AddQuad(int page, int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t u0, int64_t v0,
                   D3DCOLOR color) {
    const RECT r{ClampLong(x0), ClampLong(y0), ClampLong(x1), ClampLong(y1)};
    if (ink_.right <= ink_.left)
        ink_ = r;
    else
        ink_ = RECT{std::min(ink_.left, r.left), std::min(ink_.top, r.top), std::max(ink_.right, r.right),
                    std::max(ink_.bottom, r.bottom)};

    const float pw = float(atlas_.Width(page)), ph = float(atlas_.Height(page));
    const float su0 = float(u0) / pw, sv0 = float(v0) / ph;
    const float su1 = float(u0 + (x1 - x0)) / pw, sv1 = float(v0 + (y1 - y0)) / ph;
    // Pixel centres lie on whole coordinates: a pixel's edges are half a pixel off them.
    const float fx0 = float(x0) - 0.5f, fy0 = float(y0) - 0.5f;
    const float fx1 = float(x1) - 0.5f, fy1 = float(y1) - 0.5f;
    const TextVertex a{fx0, fy0, 0.0f, 1.0f, color, su0, sv0};
    const TextVertex b{fx1, fy0, 0.0f, 1.0f, color, su1, sv0};
    const TextVertex c{fx0, fy1, 0.0f, 1.0f, color, su0, sv1};
    const TextVertex d{fx1, fy1, 0.0f, 1.0f, color, su1, sv1};
    if (quads_.size() <= static_cast<size_t>(page)) quads_.resize(static_cast<size_t>(page) + 1);
    std::vector<TextVertex>& out = quads_[static_cast<size_t>(page)];
    out.insert(out.end(), {a, b, c, b, d, c});
}

bool Font::Draw() {
    bool any = false;
    for (const std::vector<TextVertex>& page : quads_) any = any || !page.empty();
    if (!any) return true;

    RenderStateScope scope(device_.get());
    scope.Prepare(kTextFvf);
    bool ok = true;
    for (size_t page = 0; page < quads_.size(); ++page) {
        const std::vector<TextVertex>& q = quads_[page];
        if (q.empty()) continue;
        scope.SetTexture(atlas_.Texture(static_cast<int>(page)));
        if (FAILED(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<UINT>(q.size() / 3), q.data(),
                                            sizeof(TextVertex))))
            ok = false;
    }
    return ok;
}

INT Font::DrawTextA(LPD3DXSPRITE, LPCSTR pString, INT Count, LPRECT pRect, DWORD Format, D3DCOLOR Color) {
    INT height = 0;
    size_t length = 0;
    ink_ = RECT{};
    if (pString && pRect) {
        length = TextLength(pString, Count);
        if (length > 0) height = Layout(pString, length, pRect, Format, Color);
    }
    if (font_seams::RecordingTexts()) {
        platform_testing::D3DXTextRecord record;
        if (pString) record.text.assign(pString, length);
        if (pRect) {
            record.rect = *pRect;
            record.x = pRect->left;
            record.y = pRect->top;
        }
        record.color = Color;
        record.format = Format;
        record.result = height;
        record.ink = ink_;
        font_seams::Drawn(std::move(record));
    }
    return height;
}

}  // namespace

}  // namespace d3dx9

HRESULT WINAPI D3DXCreateFontA(LPDIRECT3DDEVICE9 pDevice, INT Height, UINT Width, UINT Weight, UINT MipLevels,
                               BOOL Italic, DWORD CharSet, DWORD OutputPrecision, DWORD Quality,
                               DWORD PitchAndFamily, LPCSTR pFaceName, LPD3DXFONT* ppFont) {
    using namespace d3dx9;
    platform_testing::D3DXFontRecord record;
    record.faceName = pFaceName ? pFaceName : "";
    record.height = Height;
    record.width = Width;
    record.weight = Weight;
    record.mipLevels = MipLevels;
    record.italic = Italic;
    record.charSet = CharSet;
    record.outputPrecision = OutputPrecision;
    record.quality = Quality;
    record.pitchAndFamily = PitchAndFamily;

    auto finish = [&](HRESULT result) {
        record.result = result;
        font_seams::Created(std::move(record));
        return result;
    };

    if (!pDevice || !ppFont) return finish(D3DERR_INVALIDCALL);
    HRESULT forced = font_seams::CreateFailure();
    if (FAILED(forced)) return finish(forced);

    FaceRequest request;
    request.family = record.faceName;
    request.weight = Weight;
    request.italic = Italic != FALSE;
    FaceMatch match;
    if (!MatchFace(request, font_seams::Config(), &match)) return finish(E_FAIL);
    record.file = match.file;
    record.family = match.family;
    std::unique_ptr<Face> face = Face::Open(match.file, match.index);
    if (!face) return finish(E_FAIL);
    if (!face->SetSize(Height, Width)) return finish(D3DERR_INVALIDCALL);
    record.boldFace = match.boldFace || face->Bold();
    record.emboldened = match.embolden && !face->Bold();
    record.pixelHeight = face->PixelHeight();
    record.ascent = face->Ascent();
    record.lineHeight = face->LineHeight();

    D3DXFONT_DESCA desc = {};
    desc.Height = Height;
    desc.Width = Width;
    desc.Weight = Weight;
    desc.MipLevels = MipLevels;
    desc.Italic = Italic;
    desc.CharSet = static_cast<BYTE>(CharSet);
    desc.OutputPrecision = static_cast<BYTE>(OutputPrecision);
    desc.Quality = static_cast<BYTE>(Quality);
    desc.PitchAndFamily = static_cast<BYTE>(PitchAndFamily);
    std::strncpy(desc.FaceName, record.faceName.c_str(), LF_FACESIZE - 1);

    *ppFont = new Font(pDevice, desc, std::move(face), record.emboldened);
    return finish(D3D_OK);
}
