// libFuzzer target of the console's typed input: an initialised console (on a
// target and with glyphs of a size the input picks) takes the input as a
// sequence of characters, keys, prints and renders. Nothing typed may write
// outside a line or a surface, or leave anything behind.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/Globals.h"
#include "overlay/Alphabet.h"
#include "overlay/Console.h"
#include "platform/testing.h"
#include "tests/support/device_fixtures.h"
#include "tools/datagen/image.h"

namespace {

void WriteBitmap(const std::string& path, const datagen::Image& image) {
    const std::vector<uint8_t> bytes = datagen::EncodeBmp(image);
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

// A run tree of its own, with the console's background and a glyph sheet
// beside bin/, and the device in the program's globals.
void Arrange() {
    static bool done = false;
    if (done) return;
    done = true;
    char pattern[] = "/tmp/fuzz_console_XXXXXX";
    if (!mkdtemp(pattern)) return;
    static const std::string root = pattern;
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    });
    for (const char* folder : {"/bin", "/Immagini", "/Alfabeto"}) mkdir((root + folder).c_str(), 0755);
    datagen::Image background(32, 8), sheet(256, 128);
    for (size_t i = 0; i < background.rgb.size(); ++i) background.rgb[i] = uint8_t(i * 7);
    for (size_t i = 0; i < sheet.rgb.size(); ++i) sheet.rgb[i] = uint8_t((i % 5) ? i * 13 : 0);
    WriteBitmap(root + "/Immagini/ConsoleBackground.bmp", background);
    WriteBitmap(root + "/Alfabeto/Sheet.bmp", sheet);
    if (chdir((root + "/bin").c_str()) != 0) return;
    g_Device = device_fixtures::NullDevice(320, 240, false);  // small: every render repaints half of it
    if (g_Device) g_Device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &g_BackBuffer);
}

int g_HandlerResult = 0;

// Reads every word it is given.
int Handler(CommandArgs* args) {
    size_t length = args->Command ? std::string(args->Command).size() : 0;
    for (int i = 0; i < args->ArgCount; ++i) length += std::string(args->Args[i]).size();
    return length % 2 ? g_HandlerResult : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    Arrange();
    if (!g_Device || size < 2) return 0;
    // The first byte sets the scene: glyph size, target, handler.
    const uint8_t setup = bytes[0];
    const int glyphs[][2] = {{16, 32}, {8, 16}, {8, 4}, {3, 2}};
    const int* glyph = glyphs[setup & 3];
    if ((g_GlyphWidth != glyph[0] || g_GlyphHeight != glyph[1] || !g_AlphabetLoaded) &&
        FAILED(LoadAlphabet("..\\Alfabeto\\Sheet.bmp", glyph[0], glyph[1])))
        return 0;
    const UINT targets[][2] = {{320, 240}, {200, 100}, {64, 70}, {300, 96}};
    const UINT* size2 = targets[(setup >> 2) & 3];
    IDirect3DSurface9* target = nullptr;
    if ((setup >> 2) & 3) {
        const D3DFORMAT format = (setup & 0x40) ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
        g_Device->CreateOffscreenPlainSurface(size2[0], size2[1], format, D3DPOOL_DEFAULT, &target, nullptr);
    } else {
        target = g_BackBuffer;
        target->AddRef();
    }
    g_ScreenWidth = int(size2[0]);
    g_ScreenHeight = int(size2[1]);
    g_HandlerResult = (setup & 0x80) ? -1 : 1;

    Console console;
    if (setup & 0x20) console.SetCommandHandler(Handler);
    console.Init(g_Device, target);
    console.OnKey(122);
    int renders = 0;
    for (size_t i = 1; i < size; ++i) {
        const uint8_t b = bytes[i];
        switch (b) {
            case 0xF0: console.OnKey(13); break;
            case 0xF1: console.OnKey(37); break;
            case 0xF2: console.OnKey(122); break;
            case 0xF3:
                if (++renders <= 16) console.Render();
                break;
            case 0xF4: console.NewLine(); break;
            case 0xF5: console.ClearLines(); break;
            case 0xF6: {  // print what follows, up to a zero
                std::string text;
                while (++i < size && bytes[i] != 0) text += char(bytes[i]);
                console.Print(text.c_str());
                break;
            }
            case 0xF7:  // made again, or let go
                if (i + 1 < size && (bytes[++i] & 1))
                    console.Init(g_Device, target);
                else
                    console.Release();
                break;
            case 0xF8:  // any key code
                if (i + 1 < size) console.OnKey(bytes[++i]);
                break;
            case 0xF9:  // any character, these codes too
                if (i + 1 < size) console.OnChar(char(bytes[++i]));
                break;
            case 0xFA:  // a character typed many times over: long lines from short inputs
                if (i + 2 < size) {
                    const int times = bytes[i + 1] * 2;
                    const char c = char(bytes[i + 2]);
                    i += 2;
                    for (int k = 0; k < times; ++k) console.OnChar(c);
                }
                break;
            default: console.OnChar(char(b)); break;
        }
    }
    if (renders == 0) console.Render();
    console.Release();
    target->Release();
    return 0;
}
