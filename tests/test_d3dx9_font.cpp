// The utility library's font on the null device: face choice, sizes, failures,
// layout, the device state around a draw, and object lifetimes.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <fontconfig/fontconfig.h>
#include <unistd.h>

#include "platform/d3dx9/d3dx9.h"
#include "platform/testing.h"
#include "platform/win32/com_object.h"
#include "tests/support/device_fixtures.h"

using namespace platform_testing;

namespace {

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

void CopyFile(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary);
    out << in.rdbuf();
}

// A directory of its own with copies of some font files, removed at the end.
class FontDirectory {
public:
    FontDirectory() {
        char pattern[] = "/tmp/branto_fonts_XXXXXX";
        const char* made = mkdtemp(pattern);
        path_ = made ? made : "";
    }
    ~FontDirectory() {
        for (const std::string& f : files_) std::remove(f.c_str());
        rmdir(path_.c_str());
    }
    std::string Add(const std::string& source) {
        std::string name = path_ + "/" + source.substr(source.rfind('/') + 1);
        CopyFile(source, name);
        files_.push_back(name);
        return name;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::vector<std::string> files_;
};

class Font : public ::testing::Test {
protected:
    void SetUp() override {
        ResetD3D9();
        ResetD3DXFont();
        UseNullD3D9();
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        ASSERT_EQ(device_fixtures::CreateWindowedDevice(d3d, 1024, 768, &dev, D3DCREATE_SOFTWARE_VERTEXPROCESSING),
                  D3D_OK);
        RecordD3DXTexts();
    }
    void TearDown() override {
        if (font) font->Release();
        if (dev) dev->Release();
        if (d3d) d3d->Release();
        EXPECT_EQ(layer::LiveObjectsTotal(), 0) << "an object leaked";
        ResetD3DXFont();
        ResetD3D9();
    }

    // As the program makes its font.
    HRESULT Create(INT height = -19, UINT weight = FW_BOLD, const char* face = "Viner Hand ITC",
                   DWORD quality = ANTIALIASED_QUALITY) {
        return D3DXCreateFontA(dev, height, 0, weight, 0, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, quality, 0,
                               face, &font);
    }

    // Draws at (x, y) as the program does; the record of the call.
    D3DXTextRecord Draw(const char* text, LONG x = 81, LONG y = 30, DWORD format = DT_NOCLIP,
                        D3DCOLOR color = 0xFFFFFFFF, INT count = -1) {
        RECT r;
        SetRect(&r, x, y, 0, 0);
        ClearD3DXTexts();
        font->DrawTextA(nullptr, text, count, &r, format, color);
        EXPECT_EQ(D3DXTextsDrawn().size(), 1u);
        return D3DXTextsDrawn().empty() ? D3DXTextRecord{} : D3DXTextsDrawn().back();
    }

    // The file the machine serves a face from.
    std::string SystemFile(UINT weight) {
        LPD3DXFONT f = nullptr;
        EXPECT_EQ(D3DXCreateFontA(dev, -19, 0, weight, 0, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                  ANTIALIASED_QUALITY, 0, "DejaVu Sans", &f),
                  D3D_OK);
        if (f) f->Release();
        return D3DXFontsCreated().back().file;
    }

    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* dev = nullptr;
    LPD3DXFONT font = nullptr;
};

TEST_F(Font, TheProgramsFaceIsStoodInForByAHandLetteredBold) {
    ASSERT_EQ(Create(), D3D_OK);
    ASSERT_NE(font, nullptr);
    const D3DXFontRecord& r = D3DXFontsCreated().back();
    EXPECT_EQ(r.faceName, "Viner Hand ITC");
    EXPECT_EQ(r.height, -19);
    EXPECT_EQ(r.width, 0u);
    EXPECT_EQ(r.weight, 700u);
    EXPECT_EQ(r.mipLevels, 0u);
    EXPECT_EQ(r.italic, FALSE);
    EXPECT_EQ(r.charSet, DWORD(DEFAULT_CHARSET));
    EXPECT_EQ(r.outputPrecision, DWORD(OUT_DEFAULT_PRECIS));
    EXPECT_EQ(r.quality, DWORD(ANTIALIASED_QUALITY));
    EXPECT_EQ(r.pitchAndFamily, 0u);
    EXPECT_EQ(r.result, D3D_OK);
    // No Linux machine has the face; the one installed with the program stands in.
    EXPECT_EQ(r.family, "Comic Neue");
    EXPECT_TRUE(EndsWith(r.file, "ComicNeue-Bold.otf")) << r.file;
    EXPECT_TRUE(r.boldFace);
    EXPECT_FALSE(r.emboldened) << "a bold face exists: no synthetic bold";
    EXPECT_EQ(r.pixelHeight, 19);
    EXPECT_GT(r.ascent, 0);
    EXPECT_GT(r.lineHeight, r.ascent);

    D3DXFONT_DESCA desc;
    ASSERT_EQ(font->GetDescA(&desc), D3D_OK);
    EXPECT_EQ(desc.Height, -19);
    EXPECT_EQ(desc.Weight, 700u);
    EXPECT_EQ(desc.Quality, ANTIALIASED_QUALITY);
    EXPECT_STREQ(desc.FaceName, "Viner Hand ITC");

    IDirect3DDevice9* got = nullptr;
    ASSERT_EQ(font->GetDevice(&got), D3D_OK);
    EXPECT_EQ(got, dev);
    got->Release();
}

TEST_F(Font, WeightChoosesTheFace) {
    struct {
        UINT weight;
        const char* file;
        bool bold;
    } const cases[] = {
        {FW_NORMAL, "DejaVuSans.ttf", false},
        {FW_DONTCARE, "DejaVuSans.ttf", false},
        {FW_BOLD, "DejaVuSans-Bold.ttf", true},
        {900, "DejaVuSans-Bold.ttf", true},
    };
    for (const auto& c : cases) {
        LPD3DXFONT f = nullptr;
        ASSERT_EQ(D3DXCreateFontA(dev, -19, 0, c.weight, 0, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                  ANTIALIASED_QUALITY, 0, "DejaVu Sans", &f),
                  D3D_OK);
        f->Release();
        const D3DXFontRecord& r = D3DXFontsCreated().back();
        EXPECT_TRUE(EndsWith(r.file, c.file)) << "weight " << c.weight << ": " << r.file;
        EXPECT_EQ(r.boldFace, c.bold) << "weight " << c.weight;
    }
}

// What stands in for the program's face depends on what is installed: the
// hand-lettered face, else a condensed one, else fontconfig's default; a face
// that is installed is never replaced.
TEST_F(Font, StandInsForTheProgramsFaceFollowWhatIsInstalled) {
    auto machineFile = [&](const char* family) {
        LPD3DXFONT f = nullptr;
        EXPECT_EQ(D3DXCreateFontA(dev, -19, 0, FW_BOLD, 0, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                  ANTIALIASED_QUALITY, 0, family, &f),
                  D3D_OK);
        if (f) f->Release();
        return D3DXFontsCreated().back().file;
    };
    const std::string comic = machineFile("Comic Neue");
    const std::string condensed = machineFile("DejaVu Sans Condensed");
    const std::string sans = machineFile("DejaVu Sans");
    ASSERT_TRUE(EndsWith(comic, "ComicNeue-Bold.otf")) << comic;
    ASSERT_TRUE(EndsWith(sans, "DejaVuSans-Bold.ttf")) << sans;
    ASSERT_TRUE(EndsWith(condensed, "DejaVuSansCondensed-Bold.ttf")) << condensed;

    struct Case {
        const char* what;
        std::vector<std::string> installed;
        const char* asked;
        std::string expected;
    } const cases[] = {
        {"all three", {sans, condensed, comic}, "Viner Hand ITC", comic},
        {"no hand-lettered face", {sans, condensed}, "Viner Hand ITC", condensed},
        {"neither stand-in", {sans}, "Viner Hand ITC", sans},
        {"another face asked for", {sans, condensed, comic}, "DejaVu Sans", sans},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FontDirectory dir;
        std::string want;
        for (const std::string& file : c.installed) {
            const std::string copy = dir.Add(file);
            if (file == c.expected) want = copy;
        }
        UseD3DXFontDirectory(dir.path());
        ASSERT_EQ(Create(-19, FW_BOLD, c.asked), D3D_OK);
        font->Release();
        font = nullptr;
        EXPECT_EQ(D3DXFontsCreated().back().file, want);
        UseD3DXFontDirectory("");
    }
}

// The stand-ins live in the process: the machine's own configuration has no
// word of them.
TEST_F(Font, TheMachinesFontConfigurationIsLeftAlone) {
    ASSERT_EQ(Create(), D3D_OK);
    EXPECT_EQ(D3DXFontsCreated().back().family, "Comic Neue");
    FcPattern* p = FcNameParse(reinterpret_cast<const FcChar8*>("Viner Hand ITC:bold"));
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(FcConfigSubstitute(nullptr, p, FcMatchPattern));
    FcChar8* family = nullptr;
    for (int i = 0; FcPatternGetString(p, FC_FAMILY, i, &family) == FcResultMatch; ++i)
        EXPECT_STRNE(reinterpret_cast<const char*>(family), "Comic Neue") << i;
    FcPatternDestroy(p);
}

TEST_F(Font, HeightsFollowThePlatformsMeaning) {
    // Negative: the em in pixels; positive: the whole cell; 0: a default size.
    struct {
        INT height;
        int em;
    } const ems[] = {{-19, 19}, {-23, 23}, {-1, 1}, {0, 16}};
    for (const auto& c : ems) {
        ASSERT_EQ(Create(c.height), D3D_OK) << c.height;
        font->Release();
        font = nullptr;
        EXPECT_EQ(D3DXFontsCreated().back().pixelHeight, c.em) << "height " << c.height;
    }
    for (INT cell : {12, 23, 40}) {
        ASSERT_EQ(Create(cell), D3D_OK) << cell;
        font->Release();
        font = nullptr;
        const D3DXFontRecord& r = D3DXFontsCreated().back();
        EXPECT_LT(r.pixelHeight, cell) << "the cell is larger than the em";
        EXPECT_NEAR(r.lineHeight, cell, 1) << "cell height " << cell;
    }
}

TEST_F(Font, FailuresLeaveTheFontUntouched) {
    FontDirectory empty;
    LPD3DXFONT const sentinel = reinterpret_cast<LPD3DXFONT>(0x1234);
    struct {
        const char* what;
        bool nullDevice;
        bool forced;
        bool emptyDirectory;
        INT height;
        HRESULT expected;
    } const cases[] = {
        {"no device", true, false, false, -19, D3DERR_INVALIDCALL},
        {"forced", false, true, false, -19, E_OUTOFMEMORY},
        {"no face at all", false, false, true, -19, E_FAIL},
        {"most negative height", false, false, false, INT_MIN, D3DERR_INVALIDCALL},
        {"huge cell", false, false, false, INT_MAX, D3DERR_INVALIDCALL},
        {"huge em", false, false, false, -5000, D3DERR_INVALIDCALL},
    };
    for (const auto& c : cases) {
        FailD3DXCreateFont(c.forced, E_OUTOFMEMORY);
        UseD3DXFontDirectory(c.emptyDirectory ? empty.path() : "");
        LPD3DXFONT f = sentinel;
        HRESULT hr = D3DXCreateFontA(c.nullDevice ? nullptr : dev, c.height, 0, FW_BOLD, 0, FALSE, DEFAULT_CHARSET,
                                     OUT_DEFAULT_PRECIS, ANTIALIASED_QUALITY, 0, "Viner Hand ITC", &f);
        EXPECT_EQ(hr, c.expected) << c.what;
        EXPECT_EQ(f, sentinel) << c.what;
        EXPECT_EQ(D3DXFontsCreated().back().result, c.expected) << c.what;
        EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::D3DX), 0) << c.what;
    }
    FailD3DXCreateFont(false);
    UseD3DXFontDirectory("");
    EXPECT_EQ(D3DXCreateFontA(dev, -19, 0, FW_BOLD, 0, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                              ANTIALIASED_QUALITY, 0, "Viner Hand ITC", nullptr),
              D3DERR_INVALIDCALL);
}

TEST_F(Font, AFontFileGoneOrDamagedAfterTheLookupFails) {
    const std::string regular = SystemFile(FW_NORMAL);
    for (bool damage : {false, true}) {
        FontDirectory dir;
        const std::string copy = dir.Add(regular);
        UseD3DXFontDirectory(dir.path());  // fontconfig has seen the file
        if (damage) {
            std::ofstream(copy, std::ios::binary | std::ios::trunc) << "not a font";
        } else {
            std::remove(copy.c_str());
        }
        EXPECT_EQ(Create(), E_FAIL) << (damage ? "damaged" : "removed");
        EXPECT_EQ(font, nullptr);
        EXPECT_EQ(D3DXFontsCreated().back().file, copy);
    }
}

TEST_F(Font, BoldIsSynthesisedOnlyWithoutABoldFace) {
    const std::string regular = SystemFile(FW_NORMAL);
    FontDirectory dir;
    dir.Add(regular);
    UseD3DXFontDirectory(dir.path());

    auto stemWidth = [&](UINT weight, bool* emboldened) {
        LPD3DXFONT f = nullptr;
        EXPECT_EQ(D3DXCreateFontA(dev, -40, 0, weight, 0, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                  ANTIALIASED_QUALITY, 0, "Viner Hand ITC", &f),
                  D3D_OK);
        *emboldened = D3DXFontsCreated().back().emboldened;
        // The ink of "l" is one stem wide.
        RECT r = {0, 0, 0, 0};
        SetRect(&r, 0, 0, 0, 0);
        ClearD3DXTexts();
        f->DrawTextA(nullptr, "l", -1, &r, DT_NOCLIP, 0xFFFFFFFF);
        f->Release();
        const RECT ink = D3DXTextsDrawn().back().ink;
        return ink.right - ink.left;
    };
    bool regularEmboldened = true, boldEmboldened = false;
    const LONG thin = stemWidth(FW_NORMAL, &regularEmboldened);
    const LONG thick = stemWidth(FW_BOLD, &boldEmboldened);
    EXPECT_FALSE(regularEmboldened);
    EXPECT_TRUE(boldEmboldened);
    EXPECT_EQ(D3DXFontsCreated().back().family, "DejaVu Sans");
    EXPECT_GT(thick, thin);
}

TEST_F(Font, DrawsTheTextFromItsTopLeftCorner) {
    ASSERT_EQ(Create(), D3D_OK);
    const D3DXFontRecord made = D3DXFontsCreated().back();
    ClearD3D9Calls();
    const D3DXTextRecord r = Draw("Frame Rate:");
    EXPECT_EQ(r.text, "Frame Rate:");
    EXPECT_EQ(r.x, 81);
    EXPECT_EQ(r.y, 30);
    EXPECT_EQ(r.color, 0xFFFFFFFFu);
    EXPECT_EQ(r.format, DWORD(DT_NOCLIP));
    EXPECT_EQ(r.result, made.lineHeight) << "one line";

    // The rectangle (81, 30, 0, 0) is a corner, not an empty area.
    ASSERT_LT(r.ink.left, r.ink.right);
    EXPECT_GE(r.ink.left, 81);
    EXPECT_LE(r.ink.left, 83);
    EXPECT_GT(r.ink.top, 30) << "the ascender leaves room above the capitals";
    EXPECT_LE(r.ink.top, 30 + made.ascent / 3);
    EXPECT_LE(r.ink.bottom, 30 + made.lineHeight);
    EXPECT_GT(r.ink.right - r.ink.left, 80);
    EXPECT_LT(r.ink.right - r.ink.left, 140);

    // One batch: ten inked glyphs (the space has none), two triangles each.
    EXPECT_GE(FindD3D9Call("SetFVF(0x144)"), 0);
    EXPECT_GE(FindD3D9Call("DrawPrimitiveUP(4,20,data,28)"), 0);
    EXPECT_EQ(FindD3D9Call("DrawPrimitiveUP(", FindD3D9Call("DrawPrimitiveUP(") + 1), -1);
}

TEST_F(Font, CountColourAndEmptyTexts) {
    ASSERT_EQ(Create(), D3D_OK);
    const INT line = D3DXFontsCreated().back().lineHeight;

    D3DXTextRecord r = Draw("Frame Rate:", 81, 30, DT_NOCLIP, 0x80FF0000, 5);
    EXPECT_EQ(r.text, "Frame");
    EXPECT_EQ(r.color, 0x80FF0000u);
    EXPECT_EQ(r.result, line);
    const LONG frameWidth = r.ink.right - r.ink.left;
    EXPECT_LT(frameWidth, Draw("Frame Rate:").ink.right - r.ink.left);
    // A count beyond the end stops at the end.
    EXPECT_EQ(Draw("ESC", 0, 0, DT_NOCLIP, 0xFFFFFFFF, 100).text, "ESC");

    ClearD3D9Calls();
    EXPECT_EQ(Draw("").result, 0);
    EXPECT_EQ(Draw("abc", 0, 0, DT_NOCLIP, 0xFFFFFFFF, 0).result, 0);
    EXPECT_EQ(Draw("   ").result, line) << "spaces have height but no ink";
    EXPECT_EQ(FindD3D9Call("DrawPrimitiveUP"), -1);

    RECT rect = {0, 0, 0, 0};
    EXPECT_EQ(font->DrawTextA(nullptr, nullptr, -1, &rect, DT_NOCLIP, 0xFFFFFFFF), 0);
    EXPECT_EQ(font->DrawTextA(nullptr, "text", -1, nullptr, DT_NOCLIP, 0xFFFFFFFF), 0);
}

TEST_F(Font, LinesAlignmentClippingAndMeasuring) {
    ASSERT_EQ(Create(), D3D_OK);
    const INT line = D3DXFontsCreated().back().lineHeight;

    EXPECT_EQ(Draw("ESC\nto exit").result, 2 * line);
    EXPECT_EQ(Draw("ESC\r\nto exit").result, 2 * line);
    EXPECT_EQ(Draw("ESC\nto exit", 0, 0, DT_NOCLIP | DT_SINGLELINE).result, line);

    // Measuring draws nothing and gives the extent.
    ClearD3D9Calls();
    RECT measured = {100, 200, 0, 0};
    EXPECT_EQ(font->DrawTextA(nullptr, "TNX to MERVO", -1, &measured, DT_CALCRECT, 0xFFFFFFFF), line);
    EXPECT_EQ(FindD3D9Call("DrawPrimitiveUP"), -1);
    EXPECT_EQ(measured.bottom, 200 + line);
    const LONG width = measured.right - measured.left;
    EXPECT_GT(width, 80);

    // Within a real rectangle.
    auto inRect = [&](RECT rect, DWORD format) {
        ClearD3DXTexts();
        font->DrawTextA(nullptr, "TNX to MERVO", -1, &rect, format, 0xFFFFFFFF);
        return D3DXTextsDrawn().back().ink;
    };
    const RECT box = {100, 100, 400, 200};
    EXPECT_LE(inRect(box, DT_RIGHT | DT_NOCLIP).right, 400);
    EXPECT_GE(inRect(box, DT_RIGHT | DT_NOCLIP).right, 400 - 3);
    const RECT centred = inRect(box, DT_CENTER | DT_NOCLIP);
    EXPECT_NEAR((centred.left + centred.right) / 2, 250, 3);
    const RECT bottom = inRect(box, DT_BOTTOM | DT_SINGLELINE | DT_NOCLIP);
    EXPECT_LE(bottom.bottom, 200);
    EXPECT_GT(bottom.top, 200 - line);

    // Without DT_NOCLIP the rectangle clips: a corner shows nothing, a narrow box part.
    const RECT clipped = inRect(RECT{100, 100, 130, 200}, 0);
    EXPECT_EQ(clipped.right, 130);
    EXPECT_GE(clipped.left, 100);
    const RECT corner = inRect(RECT{81, 30, 0, 0}, 0);
    EXPECT_GE(corner.left, corner.right);
}

TEST_F(Font, RectanglesAtTheEdgesOfTheRangeAreSafe) {
    ASSERT_EQ(Create(), D3D_OK);
    const INT line = D3DXFontsCreated().back().lineHeight;
    const RECT rects[] = {
        {INT_MAX - 5, INT_MAX - 5, 0, 0},
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX},
        {INT_MAX, INT_MIN, INT_MIN, INT_MAX},
    };
    for (const RECT& start : rects)
        for (DWORD format : {DWORD(DT_NOCLIP), DWORD(0), DWORD(DT_RIGHT | DT_NOCLIP), DWORD(DT_CENTER),
                             DWORD(DT_SINGLELINE | DT_VCENTER), DWORD(DT_SINGLELINE | DT_BOTTOM), DWORD(DT_CALCRECT)}) {
            RECT r = start;
            EXPECT_EQ(font->DrawTextA(nullptr, "TNX to\nMERVO", -1, &r, format, 0xFFFFFFFF),
                      (format & DT_SINGLELINE) ? line : 2 * line)
                << "format " << format;
        }
}

TEST_F(Font, Windows1252BytesFindTheirCharacters) {
    ASSERT_EQ(Create(-40), D3D_OK);
    // 0x80 is the euro sign; 0x81 is unassigned and shows the missing-glyph box.
    const RECT euro = Draw("\x80").ink;
    const RECT missing = Draw("\x81").ink;
    EXPECT_FALSE(euro.left == missing.left && euro.top == missing.top && euro.right == missing.right &&
                 euro.bottom == missing.bottom);
    // 0xE9 is e with an acute accent: the same letter, taller.
    const RECT e = Draw("e").ink;
    const RECT eAcute = Draw("\xE9").ink;
    EXPECT_EQ(eAcute.bottom, e.bottom);
    EXPECT_LT(eAcute.top, e.top - 3);
}

TEST_F(Font, GlyphsAreRasterisedOnce) {
    ASSERT_EQ(Create(), D3D_OK);
    const int before = layer::LiveObjects(layer::ObjectFamily::Direct3D);
    ClearD3D9Calls();
    Draw("Frame Rate:");
    EXPECT_EQ(FindD3D9Call("CreateTexture(256,256,1,0x0,21,1)"), 0) << "one A8R8G8B8 atlas page";
    const int withAtlas = layer::LiveObjects(layer::ObjectFamily::Direct3D);
    EXPECT_EQ(withAtlas, before + 1);

    ClearD3D9Calls();
    for (int i = 0; i < 50; ++i) {
        Draw("Frame Rate:");
        Draw("123");
        Draw("ESC to exit", 819, 30);
        Draw("TNX to MERVO", 819, 691);
    }
    EXPECT_EQ(FindD3D9Call("CreateTexture"), -1);
    EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::Direct3D), withAtlas);

    // The glyph data points into that page.
    IDirect3DTexture9* page = nullptr;
    RECT box;
    POINT advance;
    ASSERT_EQ(font->PreloadCharacters('A', 'Z'), D3D_OK);
    ASSERT_EQ(font->GetGlyphData(36 /* some glyph */, &page, &box, &advance), D3D_OK);
    if (page) {
        D3DSURFACE_DESC desc;
        page->GetLevelDesc(0, &desc);
        EXPECT_LE(box.right, LONG(desc.Width));
        EXPECT_LE(box.bottom, LONG(desc.Height));
        page->Release();
    }
    EXPECT_GT(advance.x, 0);
}

TEST_F(Font, ManyGlyphsSpillIntoMorePages) {
    ASSERT_EQ(Create(-120), D3D_OK);
    ASSERT_EQ(font->PreloadCharacters(0x20, 0xFF), D3D_OK);
    EXPECT_GT(layer::LiveObjects(layer::ObjectFamily::Direct3D), 3) << "more than one page";
    ClearD3D9Calls();
    std::string all;
    for (int c = 0x21; c < 0x7F; ++c) all += char(c);
    Draw(all.c_str());
    // One batch per page used, each with its own texture.
    int draws = 0;
    for (int at = FindD3D9Call("DrawPrimitiveUP"); at >= 0; at = FindD3D9Call("DrawPrimitiveUP", at + 1)) ++draws;
    EXPECT_GT(draws, 1);
}

// ---------------------------------------------------------------------------
// The device state around a draw.

struct DeviceSnapshot {
    std::vector<DWORD> render, stage, sampler;
    std::vector<IDirect3DBaseTexture9*> textures;
    DWORD fvf = 0;
    IDirect3DVertexDeclaration9* declaration = nullptr;
    IDirect3DVertexShader9* shader = nullptr;
    std::vector<IDirect3DVertexBuffer9*> streams;
    std::vector<UINT> offsets, strides;
    IDirect3DIndexBuffer9* indices = nullptr;
    std::vector<D3DMATRIX> transforms;
    D3DVIEWPORT9 viewport = {};
    D3DMATERIAL9 material = {};

    explicit DeviceSnapshot(IDirect3DDevice9* dev) {
        for (DWORD s = 0; s < 256; ++s) {
            DWORD v = 0xDEADBEEF;
            dev->GetRenderState(D3DRENDERSTATETYPE(s), &v);
            render.push_back(v);
        }
        for (DWORD st = 0; st < 8; ++st)
            for (DWORD t = 1; t < 33; ++t) {
                DWORD v = 0xDEADBEEF;
                dev->GetTextureStageState(st, D3DTEXTURESTAGESTATETYPE(t), &v);
                stage.push_back(v);
            }
        for (DWORD sm = 0; sm < 16; ++sm) {
            for (DWORD t = 1; t < 14; ++t) {
                DWORD v = 0xDEADBEEF;
                dev->GetSamplerState(sm, D3DSAMPLERSTATETYPE(t), &v);
                sampler.push_back(v);
            }
            IDirect3DBaseTexture9* tex = nullptr;
            dev->GetTexture(sm, &tex);
            if (tex) tex->Release();
            textures.push_back(tex);
        }
        dev->GetFVF(&fvf);
        dev->GetVertexDeclaration(&declaration);
        if (declaration) declaration->Release();
        dev->GetVertexShader(&shader);
        if (shader) shader->Release();
        for (UINT s = 0; s < 16; ++s) {
            IDirect3DVertexBuffer9* vb = nullptr;
            UINT offset = 0, stride = 0;
            dev->GetStreamSource(s, &vb, &offset, &stride);
            if (vb) vb->Release();
            streams.push_back(vb);
            offsets.push_back(offset);
            strides.push_back(stride);
        }
        dev->GetIndices(&indices);
        if (indices) indices->Release();
        for (D3DTRANSFORMSTATETYPE t : {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION, D3DTS_TEXTURE0}) {
            D3DMATRIX m;
            dev->GetTransform(t, &m);
            transforms.push_back(m);
        }
        dev->GetViewport(&viewport);
        dev->GetMaterial(&material);
    }

    void ExpectEqual(const DeviceSnapshot& o, const char* what) const {
        for (size_t i = 0; i < render.size(); ++i) EXPECT_EQ(render[i], o.render[i]) << what << ": render state " << i;
        for (size_t i = 0; i < stage.size(); ++i)
            EXPECT_EQ(stage[i], o.stage[i]) << what << ": stage " << i / 32 << " state " << i % 32 + 1;
        for (size_t i = 0; i < sampler.size(); ++i)
            EXPECT_EQ(sampler[i], o.sampler[i]) << what << ": sampler " << i / 13 << " state " << i % 13 + 1;
        EXPECT_EQ(textures, o.textures) << what;
        EXPECT_EQ(fvf, o.fvf) << what;
        EXPECT_EQ(declaration, o.declaration) << what;
        EXPECT_EQ(shader, o.shader) << what;
        EXPECT_EQ(streams, o.streams) << what;
        EXPECT_EQ(offsets, o.offsets) << what;
        EXPECT_EQ(strides, o.strides) << what;
        EXPECT_EQ(indices, o.indices) << what;
        for (size_t i = 0; i < transforms.size(); ++i)
            EXPECT_EQ(std::memcmp(&transforms[i], &o.transforms[i], sizeof(D3DMATRIX)), 0) << what << ": transform " << i;
        EXPECT_EQ(std::memcmp(&viewport, &o.viewport, sizeof viewport), 0) << what;
        EXPECT_EQ(std::memcmp(&material, &o.material, sizeof material), 0) << what;
    }
};

TEST_F(Font, EveryDeviceStateTheProgramSetIsPutBack) {
    ASSERT_EQ(Create(), D3D_OK);

    // What the program may have bound when it draws a text: its mesh state, or
    // its particle pass (a shader with a declaration).
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(dev->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(dev->CreateVertexBuffer(1024, 0, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(dev->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
                                          {0, 12, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
                                          D3DDECL_END()};
    IDirect3DVertexDeclaration9* decl = nullptr;
    ASSERT_EQ(dev->CreateVertexDeclaration(elements, &decl), D3D_OK);
    const DWORD tokens[] = {0xFFFE0101, 0x0000FFFF};
    IDirect3DVertexShader9* shader = nullptr;
    ASSERT_EQ(dev->CreateVertexShader(tokens, &shader), D3D_OK);

    D3DMATRIX world = {{{2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 5, 6, 7, 1}}};
    dev->SetTransform(D3DTS_WORLD, &world);
    dev->SetRenderState(D3DRS_LIGHTING, TRUE);
    dev->SetRenderState(D3DRS_AMBIENT, 0xFFC8C8C8);
    dev->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    dev->SetRenderState(D3DRS_ALPHAREF, 8);
    dev->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    dev->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
    dev->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    dev->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRROR);
    dev->SetTexture(0, texture);
    dev->SetIndices(ib);

    struct {
        const char* what;
        bool particlePass;
    } const cases[] = {{"mesh state", false}, {"particle pass", true}};
    for (const auto& c : cases) {
        if (c.particlePass) {
            dev->SetVertexDeclaration(decl);
            dev->SetVertexShader(shader);
            dev->SetStreamSource(0, vb, 16, 16);
            dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        } else {
            dev->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
            dev->SetStreamSource(0, vb, 0, 32);
            dev->SetStreamSource(1, vb, 8, 12);
        }
        const DeviceSnapshot before(dev);
        ClearD3D9Calls();
        Draw("Frame Rate:");
        Draw("COLLISIONE!!!", 30, 60);
        EXPECT_GE(FindD3D9Call("DrawPrimitiveUP"), 0) << c.what;
        DeviceSnapshot(dev).ExpectEqual(before, c.what);
    }

    // And while the text was drawn its own state was in force.
    const int draw = FindD3D9Call("DrawPrimitiveUP");
    auto setBefore = [&](const std::string& call) {
        const int at = FindD3D9Call(call);
        return at >= 0 && at < draw;
    };
    EXPECT_TRUE(setBefore("SetVertexShader(null)"));
    EXPECT_TRUE(setBefore("SetFVF(0x144)"));
    // The depth states are the program's: glyphs at z 0 keep later geometry off them.
    EXPECT_LT(FindD3D9Call("SetRenderState(7,"), 0) << "depth test left as set";
    EXPECT_LT(FindD3D9Call("SetRenderState(14,"), 0) << "depth write left as set";
    EXPECT_TRUE(setBefore("SetRenderState(22,1)")) << "no culling";
    EXPECT_TRUE(setBefore("SetRenderState(137,0)")) << "no lighting";
    // The program left the alpha test on (ALPHAREF 8, GREATEREQUAL): the font
    // keeps it on and asks for any coverage at all.
    EXPECT_LT(FindD3D9Call("SetRenderState(15,"), 0) << "alpha test already on";
    EXPECT_TRUE(setBefore("SetRenderState(24,0)")) << "any coverage";
    EXPECT_TRUE(setBefore("SetRenderState(25,5)")) << "alpha greater than";
    EXPECT_TRUE(setBefore("SetRenderState(19,5)")) << "source alpha";
    EXPECT_TRUE(setBefore("SetRenderState(20,6)")) << "inverse source alpha";
    EXPECT_TRUE(setBefore("SetTextureStageState(0,1,4)")) << "colour modulates";
    EXPECT_TRUE(setBefore("SetTextureStageState(1,1,1)")) << "stage 1 off";
    EXPECT_TRUE(setBefore("SetSamplerState(0,6,1)")) << "point sampling";

    dev->SetTexture(0, nullptr);
    dev->SetIndices(nullptr);
    dev->SetStreamSource(0, nullptr, 0, 0);
    dev->SetStreamSource(1, nullptr, 0, 0);
    dev->SetVertexShader(nullptr);
    dev->SetVertexDeclaration(nullptr);
    texture->Release();
    vb->Release();
    ib->Release();
    decl->Release();
    shader->Release();
}

// ---------------------------------------------------------------------------
// Lifetimes

TEST_F(Font, ReleasedInEitherOrderNothingStaysAlive) {
    for (bool deviceFirst : {false, true}) {
        if (!dev) {
            ASSERT_EQ(device_fixtures::CreateWindowedDevice(d3d, 1024, 768, &dev, D3DCREATE_SOFTWARE_VERTEXPROCESSING),
                      D3D_OK);
        }
        ASSERT_EQ(Create(), D3D_OK);
        Draw("Frame Rate:");  // the atlas holds a texture of the device
        if (deviceFirst) {
            EXPECT_GT(dev->Release(), 0u) << "the font keeps its device";
            dev = nullptr;
            font->Release();
            font = nullptr;
        } else {
            font->Release();
            font = nullptr;
            EXPECT_EQ(dev->Release(), 0u);
            dev = nullptr;
        }
        EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::D3DX), 0);
        EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::Direct3D), 1) << "only the Direct3D object";
    }
}

TEST_F(Font, TheRestOfTheInterface) {
    ASSERT_EQ(Create(), D3D_OK);
    EXPECT_EQ(font->GetDC(), nullptr);
    EXPECT_EQ(font->OnLostDevice(), D3D_OK);
    EXPECT_EQ(font->OnResetDevice(), D3D_OK);
    EXPECT_EQ(font->PreloadTextA("ESC to exit", -1), D3D_OK);
    EXPECT_EQ(font->PreloadTextA(nullptr, -1), D3DERR_INVALIDCALL);
    EXPECT_EQ(font->PreloadGlyphs(0, 10), D3D_OK);
    void* same = nullptr;
    ASSERT_EQ(font->QueryInterface(IID_ID3DXFont, &same), S_OK);
    EXPECT_EQ(same, font);
    font->Release();
    EXPECT_EQ(font->QueryInterface(IID_ID3DXBuffer, &same), E_NOINTERFACE);
}

}  // namespace
