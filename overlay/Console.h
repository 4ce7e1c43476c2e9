// The drop-down console: a history of text lines over a background picture,
// sliding down over the upper half of a target surface, with an input line
// whose submitted text goes, split into a command and its arguments, to a
// handler the host registers. The host feeds it typed characters and key codes
// and renders it once a frame; it has no commands of its own.
#pragma once

#include <windows.h>

#include <d3d9.h>

// A submitted line split into words, all lower case.
struct CommandArgs {
    CommandArgs();
    ~CommandArgs();
    CommandArgs(const CommandArgs&) = delete;
    CommandArgs& operator=(const CommandArgs&) = delete;

    // Lower-cases `text` in place and splits it at spaces and commas: the first
    // word is the command (" " for a line of separators only), up to 25 more
    // the arguments.
    static void Parse(char* text, CommandArgs* args);

    char* Command;  // owned
    int ArgCount;
    char* Args[25];  // owned, null past ArgCount
};

typedef int (*ConsoleCommandHandler)(CommandArgs* args);

// One line: at most 255 characters. A line whose buffer could not be had
// (Text null) reads as empty and takes nothing.
class ConsoleLine {
public:
    ConsoleLine();
    ~ConsoleLine();
    ConsoleLine(const ConsoleLine&) = delete;
    ConsoleLine& operator=(const ConsoleLine&) = delete;

    // Copies `count` bytes of the text (at most 256).
    int GetText(char* dest, int count);
    int SetText(const char* text);
    // 8 takes the last character away; others are appended while there is room.
    int AddChar(char c);
    // The text at (10, Y) into a locked destination of width x height pixels,
    // with key 0; glyphs are clipped to it.
    int Draw(DWORD* bits, int pitch, int width, int height);

    char* Text;  // 256 bytes, owned
    ConsoleLine* pNext;  // the next older line
    int Y;  // top row of the glyphs in the console surface
};

class Console {
public:
    Console();
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // Takes a reference to both; the console is the target's width and half
    // its height. Needs the alphabet loaded and room for two lines of it.
    HRESULT Init(IDirect3DDevice9* device, IDirect3DSurface9* target);
    void Release();
    void SetCommandHandler(ConsoleCommandHandler handler);
    // Empties every drawn line.
    void ClearLines();
    int OnChar(char c);
    // 13 submits the input line, 37 takes its last character away, 122 shows
    // or hides the console.
    int OnKey(DWORD code);
    void Print(const char* text);
    void NewLine();
    void Render();

    int Initialised;
    UINT Width;
    UINT Height;
    IDirect3DSurface9* pConsoleSurface;     // owned
    IDirect3DSurface9* pBackgroundSurface;  // owned
    IDirect3DSurface9* pTargetSurface;      // one reference held
    IDirect3DDevice9* pDevice;              // one reference held
    int Visible;
    int SlideState;  // 1 opening, 0 closing, 2 at rest
    ConsoleLine* pInputLine;  // the head of the list
    ConsoleLine* pLines;      // newest first, owned
    ConsoleCommandHandler CommandHandler;
    int HasCommandHandler;
};

// Shared by every console: the slide position (0 open, Height closed), set to
// the Height of the first console rendered, and the last character typed.
extern int SlideOffset;
extern char LastTypedChar;
