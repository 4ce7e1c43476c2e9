#include "overlay/Console.h"

#include <d3dx9.h>

#include <cstring>
#include <new>

#include "app/Globals.h"
#include "app/Utility.h"
#include "overlay/Alphabet.h"
#include "overlay/BitmapSurface.h"

int SlideOffset = 0;
char LastTypedChar = 0;

namespace {

const char kBackgroundFile[] = "..\\Immagini\\ConsoleBackground.bmp";
const int kLineBytes = 256;
const int kTextX = 10;
const int kBottomMargin = 5;
const int kSlideStep = 10;
const int kMaxArgs = 25;
const char kSeparators[] = " ,";

bool g_SlideStarted = false;  // SlideOffset has been given a console's height

template <class T>
void ReleaseHeld(T*& object) {
    if (object) {
        object->Release();
        object = NULL;
    }
}

char* HeapCopy(const char* text) {
    const size_t n = std::strlen(text) + 1;
    char* copy = new (std::nothrow) char[n];
    if (copy) std::memcpy(copy, text, n);
    return copy;
}

}  // namespace

// ---------------------------------------------------------------------------
// Command arguments

CommandArgs::CommandArgs() : Command(NULL), ArgCount(0) {
    for (int i = 0; i < kMaxArgs; ++i) Args[i] = NULL;
}

CommandArgs::~CommandArgs() {
    delete[] Command;
    for (int i = 0; i < kMaxArgs; ++i) delete[] Args[i];
}

void CommandArgs::Parse(char* text, CommandArgs* args) {
    _strlwr(text);
    char* word = strtok(text, kSeparators);
    if (!word) {
        args->Command = HeapCopy(" ");
        args->ArgCount = 0;
        return;
    }
    args->Command = HeapCopy(word);
    while (args->ArgCount < kMaxArgs && (word = strtok(NULL, kSeparators)) != NULL) {
        args->Args[args->ArgCount] = HeapCopy(word);
        args->ArgCount++;
    }
}

// ---------------------------------------------------------------------------
// Lines

ConsoleLine::ConsoleLine() : Text(new (std::nothrow) char[kLineBytes]), pNext(NULL), Y(0) {
    if (Text) std::memset(Text, 0, kLineBytes);
}

ConsoleLine::~ConsoleLine() { delete[] Text; }

int ConsoleLine::GetText(char* dest, int count) {
    if (!dest || count <= 0) return 0;
    const size_t n = count < kLineBytes ? static_cast<size_t>(count) : kLineBytes;
    if (Text)
        std::memcpy(dest, Text, n);
    else
        std::memset(dest, 0, n);
    return 0;
}

int ConsoleLine::SetText(const char* text) {
    if (!Text) return 0;
    std::memset(Text, 0, kLineBytes);
    if (text) std::memcpy(Text, text, strnlen(text, kLineBytes - 1));
    return 0;
}

int ConsoleLine::AddChar(char c) {
    if (!Text) return 0;
    const size_t length = std::strlen(Text);
    if (c == 8) {
        if (length > 0) Text[length - 1] = 0;
    } else if (c != 0 && length < kLineBytes - 1) {
        Text[length] = c;  // the zero behind it is already there
    }
    return 0;
}

int ConsoleLine::Draw(DWORD* bits, int pitch, int width, int height) {
    if (Text) PrintStringClipped(kTextX, Y, Text, 1, 0, bits, pitch, width, height);
    return 0;
}

// ---------------------------------------------------------------------------
// Console

Console::Console()
    : Initialised(0),
      Width(0),
      Height(0),
      pConsoleSurface(NULL),
      pBackgroundSurface(NULL),
      pTargetSurface(NULL),
      pDevice(NULL),
      Visible(0),
      SlideState(2),
      pInputLine(NULL),
      pLines(NULL),
      CommandHandler(NULL),
      HasCommandHandler(0) {}

Console::~Console() { Release(); }

HRESULT Console::Init(IDirect3DDevice9* device, IDirect3DSurface9* target) {
    if (!device || !target) return E_FAIL;
    // The lines are as high as the glyphs: without an alphabet there are none.
    if (!g_AlphabetLoaded || g_GlyphHeight <= 0) return E_FAIL;
    if (Initialised) Release();  // a console made again starts afresh

    pDevice = device;
    pDevice->AddRef();
    pTargetSurface = target;
    pTargetSurface->AddRef();
    D3DSURFACE_DESC desc;
    if (FAILED(target->GetDesc(&desc))) {
        Release();
        return E_FAIL;
    }
    Width = desc.Width;
    Height = desc.Height / 2;
    // An input line and at least one line above it, or nothing works.
    const int lines = static_cast<int>(Height / static_cast<UINT>(g_GlyphHeight));
    if (lines < 2) {
        Release();
        return E_FAIL;
    }
    if (FAILED(device->CreateOffscreenPlainSurface(Width, Height, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                   &pConsoleSurface, NULL))) {
        ReportError("Unable to create image surface for console");
        Release();
        return E_FAIL;
    }
    if (FAILED(LoadBitmapToSurface(kBackgroundFile, &pBackgroundSurface, device))) {
        ReportError("Unable to load console background image");
        Release();
        return E_FAIL;
    }
    Initialised = 1;
    // The oldest line first, so that the head ends up the input line.
    for (int k = lines - 1; k >= 0; --k) {
        ConsoleLine* line = new (std::nothrow) ConsoleLine;
        if (!line) {
            Release();
            return E_FAIL;
        }
        line->Y = static_cast<int>(Height) - g_GlyphHeight * (k + 1) - kBottomMargin;
        line->pNext = pLines;
        pLines = line;
    }
    pInputLine = pLines;
    return 0;
}

void Console::Release() {
    ReleaseHeld(pConsoleSurface);
    ReleaseHeld(pBackgroundSurface);
    ReleaseHeld(pTargetSurface);
    ReleaseHeld(pDevice);
    while (pLines) {
        ConsoleLine* next = pLines->pNext;
        delete pLines;
        pLines = next;
    }
    // Nothing may write into the freed lines, and a hidden console stays hidden.
    pInputLine = NULL;
    Initialised = 0;
    Visible = 0;
    SlideState = 2;
}

void Console::SetCommandHandler(ConsoleCommandHandler handler) {
    CommandHandler = handler;
    HasCommandHandler = 1;
}

void Console::ClearLines() {
    if (!Initialised) return;
    for (ConsoleLine* line = pLines; line && line->pNext; line = line->pNext) line->SetText("");
}

int Console::OnChar(char c) {
    if (!Initialised || !Visible) return 0;
    if (c == 13) return 0;
    if (c == 9) c = ' ';
    if (c == ' ') {
        // Not at the start of a line, and never two in a row.
        if (LastTypedChar == ' ' || LastTypedChar == 0) return 0;
        pInputLine->AddChar(' ');
        LastTypedChar = ' ';
        return 0;
    }
    if (c == 0) {
        LastTypedChar = 0;
        return 0;
    }
    pInputLine->AddChar(c);
    LastTypedChar = c;
    return 0;
}

int Console::OnKey(DWORD code) {
    switch (code) {
        case 13: {
            if (!Initialised || !Visible) return 0;
            OnChar(0);
            if (HasCommandHandler && CommandHandler) {
                char* buffer = new (std::nothrow) char[kLineBytes];
                if (buffer) {
                    pInputLine->GetText(buffer, kLineBytes);
                    buffer[kLineBytes - 1] = 0;
                    if (buffer[0] != 0 && std::strcmp(buffer, " ") != 0) {
                        CommandArgs args;
                        CommandArgs::Parse(buffer, &args);
                        if (args.Command && CommandHandler(&args) < 0) Print("-- Unknown Command --");
                    }
                    delete[] buffer;
                }
            }
            NewLine();
            break;
        }
        case 37:
            OnChar(8);
            break;
        case 122:
            SlideState = Visible ? 0 : 1;
            Visible = 1;
            break;
        default:
            break;
    }
    return 0;
}

void Console::Print(const char* text) {
    if (!Initialised) return;
    NewLine();
    pInputLine->SetText(text);
}

void Console::NewLine() {
    if (!Initialised || !pLines || !pLines->pNext) return;
    ConsoleLine* beforeLast = pLines;
    for (ConsoleLine* line = pLines; line->pNext; line = line->pNext) {
        line->Y -= g_GlyphHeight;
        beforeLast = line;
    }
    ConsoleLine* last = beforeLast->pNext;
    beforeLast->pNext = NULL;
    ConsoleLine* fresh = new (std::nothrow) ConsoleLine;
    if (fresh) {
        delete last;
    } else {
        fresh = last;  // no memory for a new line: the oldest serves again
        fresh->SetText("");
    }
    fresh->Y = static_cast<int>(Height) - g_GlyphHeight - kBottomMargin;
    fresh->pNext = pLines;
    pLines = fresh;
    pInputLine = fresh;
}

void Console::Render() {
    if (!Initialised) return;
    if (!g_SlideStarted) {
        SlideOffset = static_cast<int>(Height);
        g_SlideStarted = true;
    }
    if (SlideState == 1) {
        SlideOffset -= kSlideStep;
        if (SlideOffset <= 0) {
            SlideOffset = 0;
            SlideState = 2;
        }
    } else if (SlideState == 0) {
        SlideOffset += kSlideStep;
        if (SlideOffset >= static_cast<int>(Height)) {
            SlideOffset = static_cast<int>(Height);
            Visible = 0;
            SlideState = 2;
        }
    }
    if (!Visible) return;

    D3DXLoadSurfaceFromSurface(pConsoleSurface, NULL, NULL, pBackgroundSurface, NULL, NULL, D3DX_FILTER_LINEAR, 0);
    D3DLOCKED_RECT locked;
    if (SUCCEEDED(pConsoleSurface->LockRect(&locked, NULL, 0))) {
        // The oldest line is never drawn.
        for (ConsoleLine* line = pLines; line && line->pNext; line = line->pNext)
            line->Draw(static_cast<DWORD*>(locked.pBits), locked.Pitch, static_cast<int>(Width),
                       static_cast<int>(Height));
        pConsoleSurface->UnlockRect();
    }
    // While it slides, the console's lower part shows at the target's top.
    if (SlideOffset > 0 && SlideOffset < g_ScreenHeight / 2) {
        RECT rows = {0, SlideOffset, static_cast<LONG>(Width), static_cast<LONG>(Height)};
        POINT top = {0, 0};
        pDevice->UpdateSurface(pConsoleSurface, &rows, pTargetSurface, &top);
    } else {
        CopySurfaceColorKeyed(NULL, pConsoleSurface, NULL, pTargetSurface, 0, 0);
    }
}
