// What the devices report, fed by the SDL events that the window layer pumps:
// key bytes by key code, mouse movement and buttons, focus changes.
#include <SDL.h>

#include <cstdio>

#include "dinput_internal.h"
#include "native.h"

namespace dinput_internal {

Backend& B() {
    static Backend* b = new Backend;
    return *b;
}

bool CountAndScript(InputObject object, InputCall call, HRESULT* result) {
    Backend& b = B();
    auto key = std::make_pair(static_cast<int>(object), static_cast<int>(call));
    ++b.counts[key];
    auto it = b.scripts.find(key);
    if (it == b.scripts.end() || it->second.empty()) return false;
    HRESULT next = it->second.front();
    it->second.pop_front();
    if (SUCCEEDED(next)) return false;
    *result = next;
    return true;
}

bool Noting() { return B().record || static_cast<bool>(B().hook); }

void Note(const std::string& line) {
    Backend& b = B();
    if (b.record) b.log.push_back(line);
    if (b.hook) b.hook(line);
}

const char* ObjectName(InputObject object) {
    switch (object) {
        case InputObject::DirectInput:
            return "DirectInput";
        case InputObject::Keyboard:
            return "Keyboard";
        case InputObject::Mouse:
            return "Mouse";
    }
    return "?";
}

std::string Hex(HRESULT result) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(result));
    return text;
}

int DikFromScancode(int scancode) {
    switch (scancode) {
        case SDL_SCANCODE_ESCAPE: return DIK_ESCAPE;
        case SDL_SCANCODE_1: return DIK_1;
        case SDL_SCANCODE_2: return DIK_2;
        case SDL_SCANCODE_3: return DIK_3;
        case SDL_SCANCODE_4: return DIK_4;
        case SDL_SCANCODE_5: return DIK_5;
        case SDL_SCANCODE_6: return DIK_6;
        case SDL_SCANCODE_7: return DIK_7;
        case SDL_SCANCODE_8: return DIK_8;
        case SDL_SCANCODE_9: return DIK_9;
        case SDL_SCANCODE_0: return DIK_0;
        case SDL_SCANCODE_MINUS: return DIK_MINUS;
        case SDL_SCANCODE_EQUALS: return DIK_EQUALS;
        case SDL_SCANCODE_BACKSPACE: return DIK_BACK;
        case SDL_SCANCODE_TAB: return DIK_TAB;
        case SDL_SCANCODE_Q: return DIK_Q;
        case SDL_SCANCODE_W: return DIK_W;
        case SDL_SCANCODE_E: return DIK_E;
        case SDL_SCANCODE_R: return DIK_R;
        case SDL_SCANCODE_T: return DIK_T;
        case SDL_SCANCODE_Y: return DIK_Y;
        case SDL_SCANCODE_U: return DIK_U;
        case SDL_SCANCODE_I: return DIK_I;
        case SDL_SCANCODE_O: return DIK_O;
        case SDL_SCANCODE_P: return DIK_P;
        case SDL_SCANCODE_LEFTBRACKET: return DIK_LBRACKET;
        case SDL_SCANCODE_RIGHTBRACKET: return DIK_RBRACKET;
        case SDL_SCANCODE_RETURN: return DIK_RETURN;
        case SDL_SCANCODE_LCTRL: return DIK_LCONTROL;
        case SDL_SCANCODE_A: return DIK_A;
        case SDL_SCANCODE_S: return DIK_S;
        case SDL_SCANCODE_D: return DIK_D;
        case SDL_SCANCODE_F: return DIK_F;
        case SDL_SCANCODE_G: return DIK_G;
        case SDL_SCANCODE_H: return DIK_H;
        case SDL_SCANCODE_J: return DIK_J;
        case SDL_SCANCODE_K: return DIK_K;
        case SDL_SCANCODE_L: return DIK_L;
        case SDL_SCANCODE_SEMICOLON: return DIK_SEMICOLON;
        case SDL_SCANCODE_APOSTROPHE: return DIK_APOSTROPHE;
        case SDL_SCANCODE_GRAVE: return DIK_GRAVE;
        case SDL_SCANCODE_LSHIFT: return DIK_LSHIFT;
        case SDL_SCANCODE_BACKSLASH: return DIK_BACKSLASH;
        // The ISO key beside Return sends the same scan code as the US backslash.
        case SDL_SCANCODE_NONUSHASH: return DIK_BACKSLASH;
        case SDL_SCANCODE_Z: return DIK_Z;
        case SDL_SCANCODE_X: return DIK_X;
        case SDL_SCANCODE_C: return DIK_C;
        case SDL_SCANCODE_V: return DIK_V;
        case SDL_SCANCODE_B: return DIK_B;
        case SDL_SCANCODE_N: return DIK_N;
        case SDL_SCANCODE_M: return DIK_M;
        case SDL_SCANCODE_COMMA: return DIK_COMMA;
        case SDL_SCANCODE_PERIOD: return DIK_PERIOD;
        case SDL_SCANCODE_SLASH: return DIK_SLASH;
        case SDL_SCANCODE_RSHIFT: return DIK_RSHIFT;
        case SDL_SCANCODE_KP_MULTIPLY: return DIK_MULTIPLY;
        case SDL_SCANCODE_LALT: return DIK_LMENU;
        case SDL_SCANCODE_SPACE: return DIK_SPACE;
        case SDL_SCANCODE_CAPSLOCK: return DIK_CAPITAL;
        case SDL_SCANCODE_F1: return DIK_F1;
        case SDL_SCANCODE_F2: return DIK_F2;
        case SDL_SCANCODE_F3: return DIK_F3;
        case SDL_SCANCODE_F4: return DIK_F4;
        case SDL_SCANCODE_F5: return DIK_F5;
        case SDL_SCANCODE_F6: return DIK_F6;
        case SDL_SCANCODE_F7: return DIK_F7;
        case SDL_SCANCODE_F8: return DIK_F8;
        case SDL_SCANCODE_F9: return DIK_F9;
        case SDL_SCANCODE_F10: return DIK_F10;
        case SDL_SCANCODE_NUMLOCKCLEAR: return DIK_NUMLOCK;
        case SDL_SCANCODE_SCROLLLOCK: return DIK_SCROLL;
        case SDL_SCANCODE_KP_7: return DIK_NUMPAD7;
        case SDL_SCANCODE_KP_8: return DIK_NUMPAD8;
        case SDL_SCANCODE_KP_9: return DIK_NUMPAD9;
        case SDL_SCANCODE_KP_MINUS: return DIK_SUBTRACT;
        case SDL_SCANCODE_KP_4: return DIK_NUMPAD4;
        case SDL_SCANCODE_KP_5: return DIK_NUMPAD5;
        case SDL_SCANCODE_KP_6: return DIK_NUMPAD6;
        case SDL_SCANCODE_KP_PLUS: return DIK_ADD;
        case SDL_SCANCODE_KP_1: return DIK_NUMPAD1;
        case SDL_SCANCODE_KP_2: return DIK_NUMPAD2;
        case SDL_SCANCODE_KP_3: return DIK_NUMPAD3;
        case SDL_SCANCODE_KP_0: return DIK_NUMPAD0;
        case SDL_SCANCODE_KP_PERIOD: return DIK_DECIMAL;
        case SDL_SCANCODE_NONUSBACKSLASH: return DIK_OEM_102;
        case SDL_SCANCODE_F11: return DIK_F11;
        case SDL_SCANCODE_F12: return DIK_F12;
        case SDL_SCANCODE_F13: return DIK_F13;
        case SDL_SCANCODE_F14: return DIK_F14;
        case SDL_SCANCODE_F15: return DIK_F15;
        case SDL_SCANCODE_INTERNATIONAL2: return DIK_KANA;
        case SDL_SCANCODE_INTERNATIONAL1: return DIK_ABNT_C1;
        case SDL_SCANCODE_INTERNATIONAL4: return DIK_CONVERT;
        case SDL_SCANCODE_INTERNATIONAL5: return DIK_NOCONVERT;
        case SDL_SCANCODE_INTERNATIONAL3: return DIK_YEN;
        case SDL_SCANCODE_KP_EQUALS: return DIK_NUMPADEQUALS;
        case SDL_SCANCODE_AUDIOPREV: return DIK_PREVTRACK;
        case SDL_SCANCODE_AUDIONEXT: return DIK_NEXTTRACK;
        case SDL_SCANCODE_KP_ENTER: return DIK_NUMPADENTER;
        case SDL_SCANCODE_RCTRL: return DIK_RCONTROL;
        case SDL_SCANCODE_AUDIOMUTE: return DIK_MUTE;
        case SDL_SCANCODE_MUTE: return DIK_MUTE;
        case SDL_SCANCODE_CALCULATOR: return DIK_CALCULATOR;
        case SDL_SCANCODE_AUDIOPLAY: return DIK_PLAYPAUSE;
        case SDL_SCANCODE_AUDIOSTOP: return DIK_MEDIASTOP;
        case SDL_SCANCODE_VOLUMEDOWN: return DIK_VOLUMEDOWN;
        case SDL_SCANCODE_VOLUMEUP: return DIK_VOLUMEUP;
        case SDL_SCANCODE_AC_HOME: return DIK_WEBHOME;
        case SDL_SCANCODE_KP_COMMA: return DIK_NUMPADCOMMA;
        case SDL_SCANCODE_KP_DIVIDE: return DIK_DIVIDE;
        case SDL_SCANCODE_PRINTSCREEN: return DIK_SYSRQ;
        case SDL_SCANCODE_RALT: return DIK_RMENU;
        case SDL_SCANCODE_PAUSE: return DIK_PAUSE;
        case SDL_SCANCODE_HOME: return DIK_HOME;
        case SDL_SCANCODE_UP: return DIK_UP;
        case SDL_SCANCODE_PAGEUP: return DIK_PRIOR;
        case SDL_SCANCODE_LEFT: return DIK_LEFT;
        case SDL_SCANCODE_RIGHT: return DIK_RIGHT;
        case SDL_SCANCODE_END: return DIK_END;
        case SDL_SCANCODE_DOWN: return DIK_DOWN;
        case SDL_SCANCODE_PAGEDOWN: return DIK_NEXT;
        case SDL_SCANCODE_INSERT: return DIK_INSERT;
        case SDL_SCANCODE_DELETE: return DIK_DELETE;
        case SDL_SCANCODE_LGUI: return DIK_LWIN;
        case SDL_SCANCODE_RGUI: return DIK_RWIN;
        case SDL_SCANCODE_APPLICATION: return DIK_APPS;
        case SDL_SCANCODE_POWER: return DIK_POWER;
        case SDL_SCANCODE_SLEEP: return DIK_SLEEP;
        case SDL_SCANCODE_AC_SEARCH: return DIK_WEBSEARCH;
        case SDL_SCANCODE_AC_BOOKMARKS: return DIK_WEBFAVORITES;
        case SDL_SCANCODE_AC_REFRESH: return DIK_WEBREFRESH;
        case SDL_SCANCODE_AC_STOP: return DIK_WEBSTOP;
        case SDL_SCANCODE_AC_FORWARD: return DIK_WEBFORWARD;
        case SDL_SCANCODE_AC_BACK: return DIK_WEBBACK;
        case SDL_SCANCODE_COMPUTER: return DIK_MYCOMPUTER;
        case SDL_SCANCODE_MAIL: return DIK_MAIL;
        case SDL_SCANCODE_MEDIASELECT: return DIK_MEDIASELECT;
        default: return 0;
    }
}

void MouseMotion(int64_t dx, int64_t dy, int64_t dz) {
    for (Device* d : B().devices)
        if (d->Kind() == InputObject::Mouse) d->AddMotion(dx, dy, dz);
}

void MouseButton(int button, bool down) {
    if (button < 0 || button >= 8) return;
    B().buttons[button] = down ? 0x80 : 0;
}

namespace {

// SDL's button numbers to the device's: left, right, middle, then the sides.
int ButtonIndex(Uint8 sdlButton) {
    switch (sdlButton) {
        case SDL_BUTTON_LEFT: return 0;
        case SDL_BUTTON_RIGHT: return 1;
        case SDL_BUTTON_MIDDLE: return 2;
        case SDL_BUTTON_X1: return 3;
        case SDL_BUTTON_X2: return 4;
        default: return -1;
    }
}

void OnEvent(const SDL_Event& e, void*) {
    Backend& b = B();
    switch (e.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            if (int dik = DikFromScancode(e.key.keysym.scancode))
                b.keys[dik] = e.type == SDL_KEYDOWN ? 0x80 : 0;
            break;
        case SDL_MOUSEMOTION:
            MouseMotion(e.motion.xrel, e.motion.yrel, 0);
            break;
        case SDL_MOUSEWHEEL: {
            int64_t y = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
            MouseMotion(0, 0, y * WHEEL_DELTA);
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            MouseButton(ButtonIndex(e.button.button), e.type == SDL_MOUSEBUTTONDOWN);
            break;
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
                // Releases that happen in another window never reach us.
                for (BYTE& k : b.keys) k = 0;
                for (BYTE& k : b.buttons) k = 0;
                for (Device* d : b.devices) d->WindowLostFocus(e.window.windowID);
            }
            break;
        default:
            break;
    }
}

}  // namespace

void ListenToEvents() {
    Backend& b = B();
    if (b.listening) return;
    b.listening = true;
    win32_native::AddEventListener(OnEvent, nullptr);
}

}  // namespace dinput_internal
