// The drop-down console: its slide, typing, submitted lines and their parse,
// its line list, and calls it must survive in any state.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/Globals.h"
#include "overlay/Alphabet.h"
#include "overlay/Console.h"
#include "platform/testing.h"
#include "platform/win32/com_object.h"
#include "tests/support/overlay_fixtures.h"

using namespace overlay_fixtures;

namespace {

const DWORD kBackground = 0xFF203040;  // the console background once loaded

struct Submitted {
    std::string command;
    int count;
    std::vector<std::string> args;
};
std::vector<Submitted> g_Submitted;
int g_HandlerResult = 0;

int RecordCommand(CommandArgs* args) {
    Submitted s{args->Command, args->ArgCount, {}};
    for (int i = 0; i < args->ArgCount; ++i) s.args.push_back(args->Args[i]);
    g_Submitted.push_back(s);
    return g_HandlerResult;
}

class ConsoleTest : public OverlayTest {
protected:
    void SetUp() override {
        OverlayTest::SetUp();
        WriteBitmap("Immagini/ConsoleBackground.bmp", Solid(64, 16, 0x20, 0x30, 0x40));
        WriteBitmap("Alfabeto/Sheet.bmp", sheet_);
        ASSERT_EQ(LoadAlphabet("..\\Alfabeto\\Sheet.bmp", 16, 32), 0);
        g_Submitted.clear();
        g_HandlerResult = 0;
        // Shared by every console of the program: as at its start when tests share a process.
        SlideOffset = 384;
        LastTypedChar = 0;
    }
    void TearDown() override {
        console_.Release();
        OverlayTest::TearDown();
    }
    void InitOnBackBuffer() { ASSERT_EQ(console_.Init(g_Device, g_BackBuffer), 0); }
    void Open() {
        console_.OnKey(122);
        for (int i = 0; i < 39; ++i) console_.Render();
    }
    void Type(const std::string& text) {
        for (char c : text) console_.OnChar(c);
    }
    std::string Input() const { return console_.pInputLine->Text; }
    // The texts of the list, newest first.
    std::vector<std::string> Lines() const {
        std::vector<std::string> out;
        for (ConsoleLine* line = console_.pLines; line; line = line->pNext) out.push_back(line->Text);
        return out;
    }

    datagen::Image sheet_ = GlyphSheet();
    Console console_;
};

TEST_F(ConsoleTest, InitBuildsTheLinesUpFromTheBottom) {
    InitOnBackBuffer();
    EXPECT_EQ(console_.Initialised, 1);
    EXPECT_EQ(console_.Width, 1024u);
    EXPECT_EQ(console_.Height, 384u);
    EXPECT_EQ(console_.Visible, 0);
    EXPECT_EQ(console_.SlideState, 2);
    std::vector<int> ys;
    for (ConsoleLine* line = console_.pLines; line; line = line->pNext) ys.push_back(line->Y);
    ASSERT_EQ(ys.size(), 12u) << "384 / 32";
    for (size_t k = 0; k < ys.size(); ++k) EXPECT_EQ(ys[k], 384 - 32 * int(k + 1) - 5) << k;
    EXPECT_EQ(console_.pInputLine, console_.pLines);
    D3DSURFACE_DESC desc;
    console_.pConsoleSurface->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 1024u);
    EXPECT_EQ(desc.Height, 384u);
    EXPECT_EQ(desc.Pool, D3DPOOL_SYSTEMMEM);
}

TEST_F(ConsoleTest, OpensAndClosesTenPixelsARender) {
    InitOnBackBuffer();
    console_.OnKey(122);
    EXPECT_EQ(console_.Visible, 1);
    EXPECT_EQ(console_.SlideState, 1);
    std::vector<int> offsets;
    for (int i = 0; i < 39; ++i) {
        console_.Render();
        offsets.push_back(SlideOffset);
    }
    EXPECT_EQ(offsets.front(), 374);
    EXPECT_EQ(offsets[1], 364);
    EXPECT_EQ(offsets[37], 4);
    EXPECT_EQ(offsets[38], 0);
    EXPECT_EQ(console_.SlideState, 2);
    EXPECT_EQ(console_.Visible, 1);

    console_.OnKey(122);
    EXPECT_EQ(console_.SlideState, 0);
    offsets.clear();
    for (int i = 0; i < 39; ++i) {
        EXPECT_EQ(console_.Visible, 1) << "still shown before render " << i;
        console_.Render();
        offsets.push_back(SlideOffset);
    }
    EXPECT_EQ(offsets.front(), 10);
    EXPECT_EQ(offsets[37], 380);
    EXPECT_EQ(offsets[38], 384);
    EXPECT_EQ(console_.Visible, 0);
    EXPECT_EQ(console_.SlideState, 2);

    // Pressed again while it opens, it closes again.
    console_.OnKey(122);
    for (int i = 0; i < 5; ++i) console_.Render();
    EXPECT_EQ(SlideOffset, 334);
    console_.OnKey(122);
    EXPECT_EQ(console_.SlideState, 0);
    console_.Render();
    EXPECT_EQ(SlideOffset, 344);
}

TEST_F(ConsoleTest, WhileSlidingTheLowerPartShowsAtTheTargetsTop) {
    InitOnBackBuffer();
    console_.OnKey(122);
    console_.Render();  // SlideOffset 374: console rows 374 to 383 at the top
    EXPECT_EQ(PixelAt(g_BackBuffer, 500, 0), kBackground);
    EXPECT_EQ(PixelAt(g_BackBuffer, 500, 9), kBackground);
    EXPECT_EQ(PixelAt(g_BackBuffer, 500, 10), 0u) << "the rest of the target untouched";
    for (int i = 0; i < 37; ++i) console_.Render();  // SlideOffset 4
    EXPECT_EQ(PixelAt(g_BackBuffer, 500, 379), kBackground);
    EXPECT_EQ(PixelAt(g_BackBuffer, 500, 380), 0u);
    console_.Render();  // open: the whole console
    EXPECT_EQ(PixelAt(g_BackBuffer, 500, 383), kBackground);
    EXPECT_EQ(PixelAt(g_BackBuffer, 500, 384), 0u);
    EXPECT_EQ(PixelAt(g_BackBuffer, 1023, 0), kBackground);
}

TEST_F(ConsoleTest, ATargetOfAnotherFormatOnlyGetsTheOpenConsole) {
    // The platform's copy between surfaces wants one format: while the console
    // slides onto an A8R8G8B8 target (a full-screen back buffer) nothing lands.
    IDirect3DSurface9* target = MakeSurface(1024, 768, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT);
    ASSERT_EQ(console_.Init(g_Device, target), 0);
    console_.OnKey(122);
    for (int i = 0; i < 38; ++i) console_.Render();
    EXPECT_EQ(PixelAt(target, 500, 0), 0u);
    console_.Render();
    EXPECT_EQ(PixelAt(target, 500, 0), kBackground);
}

TEST_F(ConsoleTest, TypingDropsLeadingAndDoubledSpaces) {
    InitOnBackBuffer();
    Type("abc");
    EXPECT_EQ(Input(), "") << "hidden: nothing taken";
    Open();
    const struct {
        const char* typed;
        const char* line;
    } cases[] = {
        {"  a  b", "a b"}, {"\ta\t\tb", "a b"}, {"ab\b", "a"},     {"\bx", "x"},
        {"x\ry", "xy"},    {"a b ", "a b "},   {"\b ", " "},      {"\x01\xE0", "\x01\xE0"},
    };
    for (const auto& c : cases) {
        console_.OnKey(13);  // a fresh line; the last typed character is 0 again
        Type(c.typed);
        EXPECT_EQ(Input(), c.line) << c.typed;
    }
    // Left arrow on an empty line removes nothing but counts as typed.
    console_.OnKey(13);
    console_.OnKey(37);
    Type(" ");
    EXPECT_EQ(Input(), " ");
    console_.OnKey(37);
    EXPECT_EQ(Input(), "");
}

TEST_F(ConsoleTest, ALineTakesAtMost255Characters) {
    InitOnBackBuffer();
    Open();
    Type(std::string(300, 'x'));
    EXPECT_EQ(Input(), std::string(255, 'x'));
    EXPECT_EQ(LastTypedChar, 'x');
    console_.OnChar('\b');
    EXPECT_EQ(Input().size(), 254u);
    console_.Print(std::string(400, 'p').c_str());
    EXPECT_EQ(Input(), std::string(255, 'p'));
    EXPECT_EQ(Lines()[1], std::string(254, 'x'));
}

TEST_F(ConsoleTest, SubmittedLinesReachTheHandlerInLowerCaseWords) {
    InitOnBackBuffer();
    console_.SetCommandHandler(RecordCommand);
    Open();
    std::string thirty;
    for (int i = 1; i <= 30; ++i) thirty += "W" + std::to_string(i) + " ";
    const struct {
        std::string typed;
        std::string command;
        std::vector<std::string> args;
    } cases[] = {
        {"Say Hello,World", "say", {"hello", "world"}},
        {",", " ", {}},
        {"A,,B ,C", "a", {"b", "c"}},
        {"only", "only", {}},
        {thirty, "w1", {"w2",  "w3",  "w4",  "w5",  "w6",  "w7",  "w8",  "w9",  "w10", "w11", "w12", "w13", "w14",
                        "w15", "w16", "w17", "w18", "w19", "w20", "w21", "w22", "w23", "w24", "w25", "w26"}},
    };
    for (const auto& c : cases) {
        g_Submitted.clear();
        Type(c.typed);
        console_.OnKey(13);
        ASSERT_EQ(g_Submitted.size(), 1u) << c.typed;
        EXPECT_EQ(g_Submitted[0].command, c.command);
        EXPECT_EQ(g_Submitted[0].count, int(c.args.size()));
        EXPECT_EQ(g_Submitted[0].args, c.args);
        EXPECT_EQ(Lines()[1], c.typed) << "the screen keeps the line as typed";
        EXPECT_EQ(Input(), "");
    }
}

TEST_F(ConsoleTest, EmptyLinesCallNoHandlerButStillMoveUp) {
    InitOnBackBuffer();
    console_.SetCommandHandler(RecordCommand);
    Open();
    Type("first");
    console_.OnKey(13);
    console_.OnKey(13);  // empty
    console_.OnKey(37);
    Type(" ");
    console_.OnKey(13);  // a single space
    EXPECT_EQ(g_Submitted.size(), 1u);
    const std::vector<std::string> lines = Lines();
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], " ");
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[3], "first");
    EXPECT_EQ(lines.size(), 12u);
}

TEST_F(ConsoleTest, UnknownCommandsAreAnsweredOnTheirOwnLine) {
    InitOnBackBuffer();
    console_.SetCommandHandler(RecordCommand);
    Open();
    g_HandlerResult = -1;
    Type("Foo");
    console_.OnKey(13);
    std::vector<std::string> lines = Lines();
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "-- Unknown Command --");
    EXPECT_EQ(lines[2], "Foo");

    Console other;  // no handler: Enter only starts a new line
    ASSERT_EQ(other.Init(g_Device, g_BackBuffer), 0);
    other.OnKey(122);
    for (char c : std::string("bar")) other.OnChar(c);
    other.OnKey(13);
    EXPECT_STREQ(other.pLines->Text, "");
    EXPECT_STREQ(other.pLines->pNext->Text, "bar");
    EXPECT_STREQ(other.pLines->pNext->pNext->Text, "");
}

TEST_F(ConsoleTest, TheListKeepsItsLengthAndTheOldestLineIsNotDrawn) {
    InitOnBackBuffer();
    Open();
    for (int i = 0; i < 30; ++i) console_.Print("A");
    std::vector<int> ys;
    for (ConsoleLine* line = console_.pLines; line; line = line->pNext) ys.push_back(line->Y);
    ASSERT_EQ(ys.size(), 12u);
    for (size_t k = 0; k < ys.size(); ++k) EXPECT_EQ(ys[k], 384 - 32 * int(k + 1) - 5) << k;
    console_.Render();
    // Line 10 (rows 27 to 58) is drawn; the oldest (rows -5 to 26) is not.
    for (int r = 0; r < 32; ++r)
        for (int c = 0; c < 16; ++c) {
            const DWORD sheet = Loaded(sheet_, 16 + c, 32 + r);
            ASSERT_EQ(PixelAt(console_.pConsoleSurface, 10 + c, 27 + r), sheet) << c << "," << r;
        }
    for (int y = 0; y < 27; ++y) EXPECT_EQ(PixelAt(console_.pConsoleSurface, 12, y), kBackground) << y;
    EXPECT_EQ(PixelAt(g_BackBuffer, 12, 27), Loaded(sheet_, 18, 32)) << "and copied onto the target";

    console_.ClearLines();
    const std::vector<std::string> lines = Lines();
    for (size_t k = 0; k + 1 < lines.size(); ++k) EXPECT_EQ(lines[k], "") << k;
    EXPECT_EQ(lines.back(), "A") << "the oldest keeps its text";
}

TEST_F(ConsoleTest, InitNeedsTheAlphabetAndTwoLines) {
    const int live = layer::LiveObjects(layer::ObjectFamily::Direct3D);
    const ULONG references = g_BackBuffer->AddRef() - 1;
    g_BackBuffer->Release();
    EXPECT_EQ(console_.Init(nullptr, g_BackBuffer), E_FAIL);
    EXPECT_EQ(console_.Init(g_Device, nullptr), E_FAIL);
    IDirect3DSurface9* low = MakeSurface(1024, 100, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT);  // 50 high: one line
    EXPECT_EQ(console_.Init(g_Device, low), E_FAIL);
    EXPECT_EQ(console_.pLines, nullptr);
    EXPECT_EQ(console_.pDevice, nullptr);
    IDirect3DSurface9* two = MakeSurface(1024, 128, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT);
    ASSERT_EQ(console_.Init(g_Device, two), 0);
    EXPECT_NE(console_.pLines->pNext, nullptr);
    EXPECT_EQ(console_.pLines->pNext->pNext, nullptr);
    console_.Release();

    ReleaseAlphabet();
    EXPECT_EQ(console_.Init(g_Device, g_BackBuffer), E_FAIL) << "no alphabet";
    EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::Direct3D), live + 2 - 1) << "the two targets, less the sheet";
    EXPECT_EQ(g_BackBuffer->AddRef() - 1, references) << "no reference kept";
    g_BackBuffer->Release();
    EXPECT_EQ(Reports(), "");
}

TEST_F(ConsoleTest, AMissingBackgroundIsReportedAndReleasesEverything) {
    std::remove((tree_->Path() + "Immagini/ConsoleBackground.bmp").c_str());
    const int live = layer::LiveObjects(layer::ObjectFamily::Direct3D);
    EXPECT_EQ(console_.Init(g_Device, g_BackBuffer), E_FAIL);
    EXPECT_EQ(Reports(), "ERROR: Unable to load bitmap\nERROR: Unable to load console background image\n");
    EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::Direct3D), live);
    EXPECT_EQ(console_.Initialised, 0);
    EXPECT_EQ(console_.pConsoleSurface, nullptr);
}

TEST_F(ConsoleTest, CallsBeforeInitAndAfterReleaseDoNothing) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round ? "after release" : "before init");
        console_.OnKey(122);
        Type("typed");
        console_.OnKey(37);
        console_.OnKey(13);
        console_.Print("printed");
        console_.NewLine();
        console_.ClearLines();
        console_.Render();
        EXPECT_EQ(console_.pLines, nullptr);
        EXPECT_EQ(console_.pInputLine, nullptr);
        InitOnBackBuffer();
        Open();
        Type("x");
        console_.Release();
        EXPECT_EQ(console_.Visible, 0);
        EXPECT_EQ(console_.SlideState, 2);
        EXPECT_EQ(console_.pInputLine, nullptr);
        console_.Release();
    }
}

TEST_F(ConsoleTest, LongLinesOnANarrowConsoleStayInsideIt) {
    IDirect3DSurface9* narrow = MakeSurface(300, 200, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT);
    ASSERT_EQ(console_.Init(g_Device, narrow), 0);  // 300 x 100: three lines
    Open();
    Type(std::string(255, 'A'));
    console_.Render();
    // The glyph across the right edge is cut there, nothing wraps round.
    EXPECT_NE(PixelAt(console_.pConsoleSurface, 299, 63 + 31), kBackground);
    EXPECT_EQ(PixelAt(console_.pConsoleSurface, 0, 64), kBackground);
    EXPECT_EQ(PixelAt(narrow, 299, 63 + 31), PixelAt(console_.pConsoleSurface, 299, 63 + 31));

    // Glyphs 4 high: the highest drawn line starts above the console.
    ASSERT_EQ(LoadAlphabet("..\\Alfabeto\\Sheet.bmp", 8, 4), 0);
    IDirect3DSurface9* flat = MakeSurface(300, 96, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT);
    Console other;
    ASSERT_EQ(other.Init(g_Device, flat), 0);  // 48 high: 12 lines, line 10 at y -1
    other.OnKey(122);
    for (int i = 0; i < 12; ++i) other.Print(std::string(255, 'B').c_str());
    for (int i = 0; i < 6; ++i) other.Render();
    EXPECT_EQ(other.SlideState, 2);
}

TEST_F(ConsoleTest, ALockedConsoleSurfaceIsLeftAlone) {
    InitOnBackBuffer();
    Open();
    D3DLOCKED_RECT locked;
    ASSERT_EQ(console_.pConsoleSurface->LockRect(&locked, nullptr, 0), D3D_OK);
    console_.Print("A");
    console_.Render();
    console_.pConsoleSurface->UnlockRect();
    EXPECT_EQ(Reports(), "");
}

TEST_F(ConsoleTest, ALineWithoutItsBufferReadsEmptyAndTakesNothing) {
    ConsoleLine line;
    delete[] line.Text;
    line.Text = nullptr;
    EXPECT_EQ(line.AddChar('a'), 0);
    EXPECT_EQ(line.AddChar(8), 0);
    EXPECT_EQ(line.SetText("abc"), 0);
    char buffer[300];
    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_EQ(line.GetText(buffer, 256), 0);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[255], 0);
    EXPECT_EQ(buffer[256], 'z');
    DWORD pixel = 7;
    EXPECT_EQ(line.Draw(&pixel, 4, 1, 1), 0);
    EXPECT_EQ(pixel, 7u);

    ConsoleLine full;
    full.SetText("hello");
    std::memset(buffer, 'z', sizeof buffer);
    full.GetText(buffer, 300);  // never more than the 256 bytes it has
    EXPECT_STREQ(buffer, "hello");
    EXPECT_EQ(buffer[255], 0);
    EXPECT_EQ(buffer[256], 'z');
    full.GetText(buffer, -1);
    EXPECT_EQ(buffer[256], 'z');
}

}  // namespace
