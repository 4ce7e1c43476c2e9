// Message boxes as real SDL boxes, with the platform's buttons and answers.
#include <SDL.h>

#include "native.h"
#include "testing_win32.h"
#include "text.h"
#include "win32_internal.h"

namespace win32_internal {

MessageBoxes& TheMessageBoxes() {
    static MessageBoxes* m = new MessageBoxes;
    return *m;
}

void ResetMessageBoxes() { TheMessageBoxes() = MessageBoxes(); }

namespace {

struct Button {
    int id;
    const char* label;
};

std::vector<Button> ButtonsOf(UINT type) {
    switch (type & 0xF) {
        case MB_OKCANCEL: return {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
        case MB_ABORTRETRYIGNORE: return {{IDABORT, "Abort"}, {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"}};
        case MB_YESNOCANCEL: return {{IDYES, "Yes"}, {IDNO, "No"}, {IDCANCEL, "Cancel"}};
        case MB_YESNO: return {{IDYES, "Yes"}, {IDNO, "No"}};
        case MB_RETRYCANCEL: return {{IDRETRY, "Retry"}, {IDCANCEL, "Cancel"}};
        default: return {{IDOK, "OK"}};
    }
}

// The button Escape chooses: Cancel, else No, else a lone OK; none otherwise.
int EscapeAnswer(const std::vector<Button>& buttons) {
    for (int wanted : {IDCANCEL, IDNO, IDOK})
        for (const Button& b : buttons)
            if (b.id == wanted) return b.id;
    return 0;
}

Uint32 IconFlag(UINT type) {
    switch (type & 0xF0) {
        case MB_ICONHAND: return SDL_MESSAGEBOX_ERROR;
        case MB_ICONEXCLAMATION: return SDL_MESSAGEBOX_WARNING;
        default: return SDL_MESSAGEBOX_INFORMATION;
    }
}

}  // namespace
}  // namespace win32_internal

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    using namespace win32_internal;
    MessageBoxes& boxes = TheMessageBoxes();
    // The platform's caption when none is given.
    boxes.shown.push_back({owner, text ? text : "", caption ? caption : "Error", type});
    if (boxes.preset) return boxes.answer;
    if (Headless() || !win32_native::EnsureVideo()) return 0;

    std::vector<Button> buttons = ButtonsOf(type);
    size_t defaultIndex = (type >> 8) & 0xF;
    if (defaultIndex >= buttons.size()) defaultIndex = 0;
    int escape = EscapeAnswer(buttons);
    // The program is ending: nobody is there to answer.
    if (QuitRequested()) return escape;

    std::vector<SDL_MessageBoxButtonData> data;
    for (size_t i = 0; i < buttons.size(); ++i) {
        Uint32 flags = 0;
        if (i == defaultIndex) flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
        if (buttons[i].id == escape) flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
        data.push_back(SDL_MessageBoxButtonData{flags, buttons[i].id, buttons[i].label});
    }
    std::string utf8Text = layer::Cp1252ToUtf8(text);
    std::string utf8Caption = layer::Cp1252ToUtf8(caption ? caption : "Error");
    SDL_MessageBoxData box = {};
    box.flags = IconFlag(type) | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    box.window = win32_native::SdlWindow(owner);
    box.title = utf8Caption.c_str();
    box.message = utf8Text.c_str();
    box.numbuttons = static_cast<int>(data.size());
    box.buttons = data.data();
    int chosen = -1;
    int shown;
    {
        BoxHelperWatch watch;
        shown = SDL_ShowMessageBox(&box, &chosen);
    }
    // The owner is active again once its box is gone.
    if (box.window) Activate(owner);
    // Taken away by a quit: as if closed without a button.
    if (QuitRequested()) return escape;
    if (shown != 0) return 0;
    // Closed without a button: what Escape would have chosen.
    return chosen < 0 ? escape : chosen;
}
