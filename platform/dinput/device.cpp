// The keyboard and mouse devices.
#include <SDL.h>

#include <algorithm>
#include <cstring>

#include "dinput_internal.h"
#include "native.h"

namespace dinput_internal {

namespace {

bool SameFormat(const DIDATAFORMAT& a, const DIDATAFORMAT& b) {
    return a.dwSize == b.dwSize && a.dwObjSize == b.dwObjSize && a.dwFlags == b.dwFlags &&
           a.dwDataSize == b.dwDataSize && a.dwNumObjs == b.dwNumObjs;
}

}  // namespace

Device::Device(InputObject kind, IDirectInput8A* parent)
    : kind_(kind), parent_(parent) {
    RetainQuietly(parent_);
    B().devices.push_back(this);
}

Device::~Device() {
    // Releasing an acquired device gives its input back.
    HoldPointer(false);
    auto& devices = B().devices;
    devices.erase(std::remove(devices.begin(), devices.end(), this), devices.end());
    ReleaseQuietly(parent_);
}

ULONG Device::Release() {
    InputObject kind = kind_;
    HRESULT unused;
    CountAndScript(kind, InputCall::Release, &unused);
    ULONG left = RefCounted::Release();
    if (Noting()) Note(std::string(ObjectName(kind)) + ".Release() = " + std::to_string(left));
    return left;
}

bool Device::Implements(REFIID riid) const { return IsEqualGUID(riid, IID_IDirectInputDevice8A); }

HRESULT Device::Done(InputCall call, HRESULT result, int64_t arg) {
    // Formatted only when someone listens: a frame asks dozens of questions.
    if (!Noting()) return result;
    static const char* const kNames[] = {"Create",  "CreateDevice",   "SetDataFormat",
                                         "SetCooperativeLevel", "Acquire", "Unacquire",
                                         "GetDeviceState", "Poll", "Release"};
    std::string args = arg >= 0 ? std::to_string(arg) : std::string();
    Note(std::string(ObjectName(kind_)) + "." + kNames[static_cast<int>(call)] + "(" + args +
         ") = " + Hex(result));
    return result;
}

bool Device::Focused() const {
    if (B().focusOverride >= 0) return B().focusOverride != 0;
    return win32_native::HasFocus(window_);
}

DWORD Device::StateSize() const {
    switch (format_) {
        case Format::Keyboard:
            return 256;
        case Format::Mouse:
            return sizeof(DIMOUSESTATE);
        case Format::Mouse2:
            return sizeof(DIMOUSESTATE2);
        case Format::None:
            break;
    }
    return 0;
}

void Device::HoldPointer(bool hold) {
    Backend& b = B();
    if (hold) {
        if (kind_ != InputObject::Mouse || !Exclusive()) return;
        b.pointerHolder = this;
        // Headless windows have no pointer to hold.
        if (win32_native::SdlWindow(window_) && SDL_SetRelativeMouseMode(SDL_TRUE) == 0)
            b.sdlRelative = true;
        return;
    }
    if (b.pointerHolder != this) return;
    b.pointerHolder = nullptr;
    if (b.sdlRelative) {
        SDL_SetRelativeMouseMode(SDL_FALSE);
        b.sdlRelative = false;
    }
}

void Device::LoseInput() {
    lost_ = true;
    dx_ = dy_ = dz_ = 0;
    HoldPointer(false);
}

void Device::AddMotion(int64_t dx, int64_t dy, int64_t dz) {
    if (!acquired_ || lost_) return;
    // Kept within what a read can report however long nobody reads.
    dx_ = std::clamp<int64_t>(dx_ + dx, INT32_MIN, INT32_MAX);
    dy_ = std::clamp<int64_t>(dy_ + dy, INT32_MIN, INT32_MAX);
    dz_ = std::clamp<int64_t>(dz_ + dz, INT32_MIN, INT32_MAX);
}

void Device::WindowLostFocus(uint32_t sdlWindowId) {
    if (!acquired_ || lost_ || !Foreground()) return;
    SDL_Window* mine = win32_native::SdlWindow(window_);
    if (mine && SDL_GetWindowID(mine) == sdlWindowId) LoseInput();
}

HRESULT Device::Acquire() {
    HRESULT hr;
    if (CountAndScript(kind_, InputCall::Acquire, &hr)) return Done(InputCall::Acquire, hr);
    if (format_ == Format::None) {
        hr = DIERR_INVALIDPARAM;
    } else if (Foreground() && !Focused()) {
        hr = DIERR_OTHERAPPHASPRIO;
    } else if (acquired_ && !lost_) {
        hr = S_FALSE;
    } else {
        acquired_ = true;
        lost_ = false;
        dx_ = dy_ = dz_ = 0;
        HoldPointer(true);
        hr = DI_OK;
    }
    return Done(InputCall::Acquire, hr);
}

HRESULT Device::Unacquire() {
    HRESULT hr;
    if (CountAndScript(kind_, InputCall::Unacquire, &hr)) return Done(InputCall::Unacquire, hr);
    if (!acquired_) {
        hr = DI_NOEFFECT;
    } else {
        acquired_ = false;
        lost_ = false;
        HoldPointer(false);
        hr = DI_OK;
    }
    return Done(InputCall::Unacquire, hr);
}

HRESULT Device::GetDeviceState(DWORD size, LPVOID data) {
    const int64_t arg = size;
    HRESULT hr;
    if (CountAndScript(kind_, InputCall::GetDeviceState, &hr))
        return Done(InputCall::GetDeviceState, hr, arg);
    if (!data) return Done(InputCall::GetDeviceState, DIERR_INVALIDPARAM, arg);
    if (!acquired_) return Done(InputCall::GetDeviceState, DIERR_NOTACQUIRED, arg);
    if (lost_ || (Foreground() && !Focused())) {
        LoseInput();
        return Done(InputCall::GetDeviceState, DIERR_INPUTLOST, arg);
    }
    if (size != StateSize()) return Done(InputCall::GetDeviceState, DIERR_INVALIDPARAM, arg);

    const Backend& b = B();
    if (kind_ == InputObject::Keyboard) {
        std::memcpy(data, b.keys, 256);
    } else {
        DIMOUSESTATE2 state;
        state.lX = static_cast<LONG>(dx_);  // AddMotion keeps them within range
        state.lY = static_cast<LONG>(dy_);
        state.lZ = static_cast<LONG>(dz_);
        std::memcpy(state.rgbButtons, b.buttons, sizeof state.rgbButtons);
        std::memcpy(data, &state, size);
        dx_ = dy_ = dz_ = 0;
    }
    return Done(InputCall::GetDeviceState, DI_OK, arg);
}

HRESULT Device::SetDataFormat(LPCDIDATAFORMAT format) {
    HRESULT hr;
    if (CountAndScript(kind_, InputCall::SetDataFormat, &hr))
        return Done(InputCall::SetDataFormat, hr);
    if (!format) return Done(InputCall::SetDataFormat, DIERR_INVALIDPARAM);
    if (acquired_ && !lost_) return Done(InputCall::SetDataFormat, DIERR_ACQUIRED);
    // Only the standard formats of each kind of device are understood.
    Format chosen = Format::None;
    if (kind_ == InputObject::Keyboard) {
        if (SameFormat(*format, c_dfDIKeyboard)) chosen = Format::Keyboard;
    } else if (SameFormat(*format, c_dfDIMouse)) {
        chosen = Format::Mouse;
    } else if (SameFormat(*format, c_dfDIMouse2)) {
        chosen = Format::Mouse2;
    }
    if (chosen == Format::None) return Done(InputCall::SetDataFormat, DIERR_INVALIDPARAM);
    format_ = chosen;
    return Done(InputCall::SetDataFormat, DI_OK);
}

HRESULT Device::SetCooperativeLevel(HWND window, DWORD flags) {
    const int64_t arg = flags;
    HRESULT hr;
    if (CountAndScript(kind_, InputCall::SetCooperativeLevel, &hr))
        return Done(InputCall::SetCooperativeLevel, hr, arg);
    DWORD access = flags & (DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE);
    DWORD when = flags & (DISCL_FOREGROUND | DISCL_BACKGROUND);
    const DWORD known = DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE | DISCL_FOREGROUND |
                        DISCL_BACKGROUND | DISCL_NOWINKEY;
    if ((access != DISCL_EXCLUSIVE && access != DISCL_NONEXCLUSIVE) ||
        (when != DISCL_FOREGROUND && when != DISCL_BACKGROUND) || (flags & ~known))
        return Done(InputCall::SetCooperativeLevel, DIERR_INVALIDPARAM, arg);
    if (!win32_native::IsWindow(window))
        return Done(InputCall::SetCooperativeLevel, E_HANDLE, arg);
    // The system keeps keyboards and mice shared while their window is in the background.
    if (access == DISCL_EXCLUSIVE && when == DISCL_BACKGROUND)
        return Done(InputCall::SetCooperativeLevel, DIERR_UNSUPPORTED, arg);
    window_ = window;
    cooperation_ = flags;
    return Done(InputCall::SetCooperativeLevel, DI_OK, arg);
}

HRESULT Device::Poll() {
    HRESULT hr;
    if (CountAndScript(kind_, InputCall::Poll, &hr)) return Done(InputCall::Poll, hr);
    if (!acquired_) return Done(InputCall::Poll, DIERR_NOTACQUIRED);
    if (lost_) return Done(InputCall::Poll, DIERR_INPUTLOST);
    // Keyboards and mice send their input by themselves: polling has nothing to do.
    return Done(InputCall::Poll, DI_NOEFFECT);
}

HRESULT Device::GetCapabilities(LPDIDEVCAPS caps) {
    if (!caps || caps->dwSize != sizeof(DIDEVCAPS)) return DIERR_INVALIDPARAM;
    DWORD size = caps->dwSize;
    std::memset(caps, 0, sizeof *caps);
    caps->dwSize = size;
    caps->dwFlags = DIDC_ATTACHED;
    if (kind_ == InputObject::Keyboard) {
        caps->dwDevType = DI8DEVTYPE_KEYBOARD;
        caps->dwButtons = 128;
    } else {
        caps->dwDevType = DI8DEVTYPE_MOUSE;
        caps->dwAxes = 3;
        caps->dwButtons = 5;
    }
    return DI_OK;
}

HRESULT Device::GetDeviceData(DWORD, LPDIDEVICEOBJECTDATA, LPDWORD, DWORD) {
    if (!acquired_) return DIERR_NOTACQUIRED;
    // No buffer size can be set, so there is never a buffer.
    return DIERR_NOTBUFFERED;
}

HRESULT Device::Initialize(HINSTANCE, DWORD version, REFGUID guid) {
    if (version < 0x0800) return DIERR_OLDDIRECTINPUTVERSION;
    if (version > 0x0800) return DIERR_BETADIRECTINPUTVERSION;
    const GUID& mine = kind_ == InputObject::Keyboard ? GUID_SysKeyboard : GUID_SysMouse;
    return IsEqualGUID(guid, mine) ? DI_OK : DIERR_DEVICENOTREG;
}

// What neither the keyboard nor the mouse offers here.
HRESULT Device::EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA, LPVOID, DWORD) { return DIERR_UNSUPPORTED; }
HRESULT Device::GetProperty(REFGUID, LPDIPROPHEADER) { return DIERR_UNSUPPORTED; }
HRESULT Device::SetProperty(REFGUID, LPCDIPROPHEADER) { return DIERR_UNSUPPORTED; }
HRESULT Device::SetEventNotification(HANDLE) { return DIERR_UNSUPPORTED; }
HRESULT Device::GetObjectInfo(LPDIDEVICEOBJECTINSTANCEA, DWORD, DWORD) { return DIERR_UNSUPPORTED; }
HRESULT Device::GetDeviceInfo(LPDIDEVICEINSTANCEA) { return DIERR_UNSUPPORTED; }
HRESULT Device::RunControlPanel(HWND, DWORD) { return DIERR_UNSUPPORTED; }
HRESULT Device::CreateEffect(REFGUID, LPCDIEFFECT, LPDIRECTINPUTEFFECT* out, LPUNKNOWN) {
    if (out) *out = nullptr;
    return DIERR_UNSUPPORTED;
}
HRESULT Device::EnumEffects(LPDIENUMEFFECTSCALLBACKA, LPVOID, DWORD) { return DI_OK; }
HRESULT Device::GetEffectInfo(LPDIEFFECTINFOA, REFGUID) { return DIERR_DEVICENOTREG; }
HRESULT Device::GetForceFeedbackState(LPDWORD) { return DIERR_UNSUPPORTED; }
HRESULT Device::SendForceFeedbackCommand(DWORD) { return DIERR_UNSUPPORTED; }
HRESULT Device::EnumCreatedEffectObjects(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK, LPVOID, DWORD) {
    return DI_OK;
}
HRESULT Device::Escape(LPDIEFFESCAPE) { return DIERR_UNSUPPORTED; }
HRESULT Device::SendDeviceData(DWORD, LPCDIDEVICEOBJECTDATA, LPDWORD, DWORD) {
    return DIERR_UNSUPPORTED;
}
HRESULT Device::EnumEffectsInFile(LPCSTR, LPDIENUMEFFECTSINFILECALLBACK, LPVOID, DWORD) {
    return DIERR_UNSUPPORTED;
}
HRESULT Device::WriteEffectToFile(LPCSTR, DWORD, LPDIFILEEFFECT, DWORD) { return DIERR_UNSUPPORTED; }
HRESULT Device::BuildActionMap(LPDIACTIONFORMATA, LPCSTR, DWORD) { return DIERR_UNSUPPORTED; }
HRESULT Device::SetActionMap(LPDIACTIONFORMATA, LPCSTR, DWORD) { return DIERR_UNSUPPORTED; }
HRESULT Device::GetImageInfo(LPDIDEVICEIMAGEINFOHEADERA) { return DIERR_UNSUPPORTED; }

}  // namespace dinput_internal
