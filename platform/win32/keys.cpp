// The asynchronous key state, fed by the keyboard and mouse events that
// PeekMessageA pumps.
#include <SDL_scancode.h>

#include "win32_internal.h"

namespace win32_internal {
namespace {

struct Keys {
    bool down[256] = {};
    bool pressed[256] = {};  // pressed since the last query of that key
};

Keys& K() {
    static Keys* k = new Keys;
    return *k;
}

bool Valid(int vk) { return vk > 0 && vk < 256; }

}  // namespace

int GenericVk(int vk) {
    switch (vk) {
        case VK_LSHIFT:
        case VK_RSHIFT:
            return VK_SHIFT;
        case VK_LCONTROL:
        case VK_RCONTROL:
            return VK_CONTROL;
        case VK_LMENU:
        case VK_RMENU:
            return VK_MENU;
        default:
            return vk;
    }
}

int VkFromScancode(int scancode, bool* extended) {
    bool ext = false;
    int vk = 0;
    if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z) {
        vk = 'A' + (scancode - SDL_SCANCODE_A);
    } else if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9) {
        vk = '1' + (scancode - SDL_SCANCODE_1);
    } else if (scancode >= SDL_SCANCODE_F1 && scancode <= SDL_SCANCODE_F12) {
        vk = VK_F1 + (scancode - SDL_SCANCODE_F1);
    } else if (scancode >= SDL_SCANCODE_KP_1 && scancode <= SDL_SCANCODE_KP_9) {
        vk = VK_NUMPAD1 + (scancode - SDL_SCANCODE_KP_1);
    } else {
        switch (scancode) {
            case SDL_SCANCODE_0: vk = '0'; break;
            case SDL_SCANCODE_RETURN: vk = VK_RETURN; break;
            case SDL_SCANCODE_ESCAPE: vk = VK_ESCAPE; break;
            case SDL_SCANCODE_BACKSPACE: vk = VK_BACK; break;
            case SDL_SCANCODE_TAB: vk = VK_TAB; break;
            case SDL_SCANCODE_SPACE: vk = VK_SPACE; break;
            case SDL_SCANCODE_MINUS: vk = VK_OEM_MINUS; break;
            case SDL_SCANCODE_EQUALS: vk = VK_OEM_PLUS; break;
            case SDL_SCANCODE_LEFTBRACKET: vk = VK_OEM_4; break;
            case SDL_SCANCODE_RIGHTBRACKET: vk = VK_OEM_6; break;
            case SDL_SCANCODE_BACKSLASH: vk = VK_OEM_5; break;
            case SDL_SCANCODE_SEMICOLON: vk = VK_OEM_1; break;
            case SDL_SCANCODE_APOSTROPHE: vk = VK_OEM_7; break;
            case SDL_SCANCODE_GRAVE: vk = VK_OEM_3; break;
            case SDL_SCANCODE_COMMA: vk = VK_OEM_COMMA; break;
            case SDL_SCANCODE_PERIOD: vk = VK_OEM_PERIOD; break;
            case SDL_SCANCODE_SLASH: vk = VK_OEM_2; break;
            case SDL_SCANCODE_NONUSBACKSLASH: vk = VK_OEM_102; break;
            case SDL_SCANCODE_CAPSLOCK: vk = VK_CAPITAL; break;
            case SDL_SCANCODE_PRINTSCREEN: vk = VK_SNAPSHOT; ext = true; break;
            case SDL_SCANCODE_SCROLLLOCK: vk = VK_SCROLL; break;
            case SDL_SCANCODE_PAUSE: vk = VK_PAUSE; break;
            case SDL_SCANCODE_INSERT: vk = VK_INSERT; ext = true; break;
            case SDL_SCANCODE_HOME: vk = VK_HOME; ext = true; break;
            case SDL_SCANCODE_PAGEUP: vk = VK_PRIOR; ext = true; break;
            case SDL_SCANCODE_DELETE: vk = VK_DELETE; ext = true; break;
            case SDL_SCANCODE_END: vk = VK_END; ext = true; break;
            case SDL_SCANCODE_PAGEDOWN: vk = VK_NEXT; ext = true; break;
            case SDL_SCANCODE_RIGHT: vk = VK_RIGHT; ext = true; break;
            case SDL_SCANCODE_LEFT: vk = VK_LEFT; ext = true; break;
            case SDL_SCANCODE_DOWN: vk = VK_DOWN; ext = true; break;
            case SDL_SCANCODE_UP: vk = VK_UP; ext = true; break;
            case SDL_SCANCODE_NUMLOCKCLEAR: vk = VK_NUMLOCK; ext = true; break;
            case SDL_SCANCODE_KP_DIVIDE: vk = VK_DIVIDE; ext = true; break;
            case SDL_SCANCODE_KP_MULTIPLY: vk = VK_MULTIPLY; break;
            case SDL_SCANCODE_KP_MINUS: vk = VK_SUBTRACT; break;
            case SDL_SCANCODE_KP_PLUS: vk = VK_ADD; break;
            case SDL_SCANCODE_KP_ENTER: vk = VK_RETURN; ext = true; break;
            case SDL_SCANCODE_KP_0: vk = VK_NUMPAD0; break;
            case SDL_SCANCODE_KP_PERIOD: vk = VK_DECIMAL; break;
            case SDL_SCANCODE_APPLICATION: vk = VK_APPS; ext = true; break;
            case SDL_SCANCODE_LCTRL: vk = VK_LCONTROL; break;
            case SDL_SCANCODE_LSHIFT: vk = VK_LSHIFT; break;
            case SDL_SCANCODE_LALT: vk = VK_LMENU; break;
            case SDL_SCANCODE_LGUI: vk = VK_LWIN; ext = true; break;
            case SDL_SCANCODE_RCTRL: vk = VK_RCONTROL; ext = true; break;
            case SDL_SCANCODE_RSHIFT: vk = VK_RSHIFT; break;
            case SDL_SCANCODE_RALT: vk = VK_RMENU; ext = true; break;
            case SDL_SCANCODE_RGUI: vk = VK_RWIN; ext = true; break;
            default: vk = 0; break;
        }
    }
    if (extended) *extended = ext;
    return vk;
}

void KeyTransition(int vk, bool down) {
    if (!Valid(vk)) return;
    Keys& k = K();
    k.down[vk] = down;
    if (down) {
        k.pressed[vk] = true;
        int generic = GenericVk(vk);
        if (generic != vk) k.pressed[generic] = true;
    }
}

bool KeyIsDown(int vk) {
    if (!Valid(vk)) return false;
    Keys& k = K();
    switch (vk) {
        case VK_SHIFT:
            return k.down[VK_SHIFT] || k.down[VK_LSHIFT] || k.down[VK_RSHIFT];
        case VK_CONTROL:
            return k.down[VK_CONTROL] || k.down[VK_LCONTROL] || k.down[VK_RCONTROL];
        case VK_MENU:
            return k.down[VK_MENU] || k.down[VK_LMENU] || k.down[VK_RMENU];
        default:
            return k.down[vk];
    }
}

void SetKeyState(int vk, bool down, bool pressedSinceQuery) {
    if (!Valid(vk)) return;
    K().down[vk] = down;
    K().pressed[vk] = pressedSinceQuery;
}

void ReleaseAllKeys() {
    for (bool& d : K().down) d = false;
}

void ResetKeys() { K() = Keys(); }

}  // namespace win32_internal

SHORT WINAPI GetAsyncKeyState(int virtualKey) {
    using namespace win32_internal;
    if (!Valid(virtualKey)) return 0;
    bool down = KeyIsDown(virtualKey);
    bool pressed = K().pressed[virtualKey];
    K().pressed[virtualKey] = false;
    return static_cast<SHORT>(static_cast<uint16_t>((down ? 0x8000u : 0u) | (pressed ? 1u : 0u)));
}
