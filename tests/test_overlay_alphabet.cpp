// The bitmap alphabet: glyph cells copied from the sheet, keying, and codes
// and places the sheet or the destination does not hold.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/Globals.h"
#include "overlay/Alphabet.h"
#include "platform/testing.h"
#include "platform/win32/com_object.h"
#include "tests/support/overlay_fixtures.h"

using namespace overlay_fixtures;

namespace {

const DWORD kKey = kGlyphSheetKey;

// Locked-looking 32-bit memory with a border round it that nothing may touch.
struct Canvas {
    static constexpr int kBorder = 40;
    Canvas(int w, int h) : width(w), height(h), stride(w + 2 * kBorder), bits(size_t(stride) * (h + 2 * kBorder), kFill) {}
    DWORD* Origin() { return &bits[size_t(kBorder) * stride + kBorder]; }
    int Pitch() const { return stride * 4; }
    DWORD At(int x, int y) const { return bits[size_t(y + kBorder) * stride + size_t(x + kBorder)]; }
    // Pixels changed outside [0, w) x [0, h).
    int ChangedOutside() const {
        int n = 0;
        for (int y = -kBorder; y < height + kBorder; ++y)
            for (int x = -kBorder; x < width + kBorder; ++x)
                if ((x < 0 || y < 0 || x >= width || y >= height) && At(x, y) != kFill) ++n;
        return n;
    }
    int Changed() const { return int(std::count_if(bits.begin(), bits.end(), [](DWORD p) { return p != kFill; })); }
    static constexpr DWORD kFill = 0x00ABCDEF;
    int width, height, stride;
    std::vector<DWORD> bits;
};

class Alphabet : public OverlayTest {
protected:
    void LoadSheet() {
        WriteBitmap("Alfabeto/Sheet.bmp", sheet_);
        ASSERT_EQ(LoadAlphabet("..\\Alfabeto\\Sheet.bmp", 16, 32), 0);
    }
    // The glyph cell whose top-left sheet pixel is (cx, cy), drawn at (x, y) of the canvas.
    void ExpectCell(const Canvas& canvas, int x, int y, int cx, int cy, bool keyed) {
        for (int r = 0; r < 32; ++r)
            for (int c = 0; c < 16; ++c) {
                const DWORD sheet = Loaded(sheet_, cx + c, cy + r);
                const DWORD want = keyed && sheet == kKey ? Canvas::kFill : sheet;
                ASSERT_EQ(canvas.At(x + c, y + r), want) << "cell pixel " << c << "," << r;
            }
    }
    datagen::Image sheet_ = GlyphSheet();
};

TEST_F(Alphabet, LoadingSetsTheCellGeometry) {
    LoadSheet();
    EXPECT_EQ(g_AlphabetLoaded, 1);
    EXPECT_EQ(g_GlyphWidth, 16);
    EXPECT_EQ(g_GlyphHeight, 32);
    EXPECT_EQ(g_GlyphsPerRow, 32);
    D3DSURFACE_DESC desc;
    g_AlphabetSurface->GetDesc(&desc);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(desc.Pool, D3DPOOL_SYSTEMMEM);
    EXPECT_EQ(ReleaseAlphabet(), 0);
    EXPECT_EQ(g_AlphabetSurface, nullptr);
    EXPECT_EQ(g_AlphabetLoaded, 0);
    EXPECT_EQ(ReleaseAlphabet(), 0) << "nothing loaded";
}

TEST_F(Alphabet, CharactersCopyTheirCells) {
    LoadSheet();
    Canvas canvas(100, 60);
    PrintChar(5, 10, 'A', 0, kKey, canvas.Origin(), canvas.Pitch());  // cell 33: column 1, row 1
    ExpectCell(canvas, 5, 10, 16, 32, false);
    PrintChar(40, 2, '!', 1, kKey, canvas.Origin(), canvas.Pitch());  // cell 1
    ExpectCell(canvas, 40, 2, 16, 0, true);
    PrintChar(70, 0, '~', 0, 0, canvas.Origin(), canvas.Pitch());  // cell 94: column 30, row 2
    ExpectCell(canvas, 70, 0, 480, 64, false);
    EXPECT_EQ(canvas.Changed(), 3 * 16 * 32);

    Canvas blank(40, 40);
    PrintChar(2, 2, ' ', 0, 0, blank.Origin(), blank.Pitch());
    EXPECT_EQ(blank.Changed(), 0) << "a space draws nothing";
}

TEST_F(Alphabet, KeyedPixelsLeaveTheDestination) {
    LoadSheet();
    Canvas on(16, 32), off(16, 32);
    PrintChar(0, 0, 'A', 1, kKey, on.Origin(), on.Pitch());
    PrintChar(0, 0, 'A', 0, kKey, off.Origin(), off.Pitch());
    ExpectCell(on, 0, 0, 16, 32, true);
    ExpectCell(off, 0, 0, 16, 32, false);
    EXPECT_EQ(on.At(3, 3), Canvas::kFill);
    EXPECT_EQ(off.At(3, 3), kKey);

    // Loaded black is 0xFF000000, never key 0: pixels of 0 come only from
    // writing the sheet directly.
    FillPixels(g_AlphabetSurface, [](int x, int) { return x % 2 ? 0u : 0xFF00FF00u; });
    Canvas zero(16, 32);
    PrintChar(0, 0, 'B', 1, 0, zero.Origin(), zero.Pitch());
    EXPECT_EQ(zero.At(0, 0), 0xFF00FF00u);
    EXPECT_EQ(zero.At(1, 0), Canvas::kFill);
}

TEST_F(Alphabet, StringsStandSideBySide) {
    LoadSheet();
    Canvas canvas(80, 40);
    PrintString(10, 4, "A!A", 0, 0, canvas.Origin(), canvas.Pitch());
    ExpectCell(canvas, 10, 4, 16, 32, false);
    ExpectCell(canvas, 26, 4, 16, 0, false);
    ExpectCell(canvas, 42, 4, 16, 32, false);
    EXPECT_EQ(canvas.Changed(), 3 * 16 * 32);
    Canvas empty(10, 10);
    PrintString(0, 0, "", 0, 0, empty.Origin(), empty.Pitch());
    PrintString(0, 0, nullptr, 0, 0, empty.Origin(), empty.Pitch());
    EXPECT_EQ(empty.Changed(), 0);
}

TEST_F(Alphabet, CodesWhoseCellIsNotOnTheSheetDrawNothing) {
    LoadSheet();  // 96 high: cells 0 to 95, codes 32 to 127
    const struct {
        int code;
        bool drawn;
    } cases[] = {{0, false},    {27, false},   {31, false},   {32, false},  {33, true},  {126, true},
                 {127, true},   {128, false},  {159, false},  {160, false}, {200, false}, {0xE0, false},
                 {255, false}};
    for (const auto& c : cases) {
        Canvas canvas(16, 32);
        PrintChar(0, 0, char(c.code), 0, 0, canvas.Origin(), canvas.Pitch());
        EXPECT_EQ(canvas.Changed(), c.drawn ? 16 * 32 : 0) << c.code;
    }
    EXPECT_EQ(Reports(), "");
}

TEST_F(Alphabet, ClippedStringsStayInsideTheirDestination) {
    LoadSheet();
    const struct {
        int x, y;
        const char* text;
        int inside;  // pixels of the 40 x 20 destination written
    } cases[] = {
        {0, 0, "AB", 32 * 20},   {30, 0, "ABC", 10 * 20},  {-10, -25, "AB", 22 * 7},
        {-40, 0, "A", 0},        {0, 20, "A", 0},           {10, -31, "A", 16},
        {0, 0, "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZ", 40 * 20},
    };
    for (const auto& c : cases) {
        Canvas canvas(40, 20);
        PrintStringClipped(c.x, c.y, c.text, 0, 0, canvas.Origin(), canvas.Pitch(), 40, 20);
        EXPECT_EQ(canvas.ChangedOutside(), 0) << c.x << "," << c.y << " " << c.text;
        EXPECT_EQ(canvas.Changed(), c.inside) << c.x << "," << c.y << " " << c.text;
    }
    Canvas canvas(40, 20);
    PrintStringClipped(-10, -25, "AB", 0, 0, canvas.Origin(), canvas.Pitch(), 40, 20);
    EXPECT_EQ(canvas.At(0, 0), Loaded(sheet_, 16 + 10, 32 + 25)) << "the visible part of the first glyph";
    EXPECT_EQ(canvas.At(6, 6), Loaded(sheet_, 16 + 16, 32 + 31)) << "the second glyph";
}

TEST_F(Alphabet, BadSizesAndSheetsAreRefused) {
    WriteBitmap("Alfabeto/Sheet.bmp", sheet_);
    const struct {
        const char* file;
        int w, h;
        const char* reports;
    } cases[] = {
        {nullptr, 16, 32, ""},
        {"..\\Alfabeto\\Sheet.bmp", 0, 32, ""},
        {"..\\Alfabeto\\Sheet.bmp", 16, 0, ""},
        {"..\\Alfabeto\\Sheet.bmp", -16, 32, ""},
        {"..\\Alfabeto\\Sheet.bmp", 16, -32, ""},
        {"..\\Alfabeto\\Sheet.bmp", 513, 32, ""},  // wider than the sheet: no cell per row
        {"..\\Alfabeto\\Sheet.bmp", 16, 97, ""},
        {"..\\Alfabeto\\Missing.bmp", 16, 32, "ERROR: Unable to load bitmap\nERROR: Unable to load alphabet bitmap\n"},
    };
    for (const auto& c : cases) {
        platform_testing::ClearDebugOutput();
        EXPECT_EQ(LoadAlphabet(c.file, c.w, c.h), E_FAIL) << c.w << "x" << c.h;
        EXPECT_EQ(g_AlphabetLoaded, 0);
        EXPECT_EQ(g_AlphabetSurface, nullptr);
        EXPECT_EQ(Reports(), c.reports);
    }
    Canvas canvas(16, 32);
    PrintChar(0, 0, 'A', 0, 0, canvas.Origin(), canvas.Pitch());
    EXPECT_EQ(canvas.Changed(), 0) << "no alphabet, no glyphs";
}

TEST_F(Alphabet, ASecondSheetTakesTheFirstOnesPlace) {
    LoadSheet();
    const int live = layer::LiveObjects(layer::ObjectFamily::Direct3D);
    WriteBitmap("Alfabeto/Small.bmp", GlyphSheet(64, 32));
    ASSERT_EQ(LoadAlphabet("..\\Alfabeto\\Small.bmp", 8, 16), 0);
    EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::Direct3D), live) << "the first sheet went";
    EXPECT_EQ(g_GlyphsPerRow, 8);
    // A failed reload leaves no alphabet, not a stale one.
    EXPECT_EQ(LoadAlphabet("..\\Alfabeto\\Missing.bmp", 16, 32), E_FAIL);
    EXPECT_EQ(g_AlphabetLoaded, 0);
    EXPECT_EQ(g_AlphabetSurface, nullptr);
    EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::Direct3D), live - 1);
}

TEST_F(Alphabet, ASheetThatCannotBeLockedIsReported) {
    LoadSheet();
    D3DLOCKED_RECT locked;
    ASSERT_EQ(g_AlphabetSurface->LockRect(&locked, nullptr, 0), D3D_OK);
    Canvas canvas(16, 32);
    PrintChar(0, 0, 'A', 0, 0, canvas.Origin(), canvas.Pitch());
    g_AlphabetSurface->UnlockRect();
    EXPECT_EQ(canvas.Changed(), 0);
    EXPECT_EQ(Reports(), "ERROR: Couldnt lock alphabet surface for PrintChar()\n");
}

}  // namespace
