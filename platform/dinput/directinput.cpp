// The DirectInput object and its creation.
#include "dinput_internal.h"

namespace dinput_internal {
namespace {

class DirectInput final
    : public layer::RefCounted<IDirectInput8A, layer::ObjectFamily::DirectInput> {
public:
    ULONG AddRefQuietly() { return RefCounted::AddRef(); }
    ULONG ReleaseQuietly() { return RefCounted::Release(); }

    ULONG Release() override {
        HRESULT unused;
        CountAndScript(InputObject::DirectInput, InputCall::Release, &unused);
        ULONG left = RefCounted::Release();
        Note("DirectInput.Release() = " + std::to_string(left));
        return left;
    }

    HRESULT CreateDevice(REFGUID guid, LPDIRECTINPUTDEVICE8A* out, LPUNKNOWN outer) override {
        InputObject kind = InputObject::DirectInput;
        if (IsEqualGUID(guid, GUID_SysKeyboard))
            kind = InputObject::Keyboard;
        else if (IsEqualGUID(guid, GUID_SysMouse))
            kind = InputObject::Mouse;
        HRESULT hr = Create(kind, out, outer);
        Note(std::string("DirectInput.CreateDevice(") + ObjectName(kind) + ") = " + Hex(hr));
        return hr;
    }

    HRESULT EnumDevices(DWORD, LPDIENUMDEVICESCALLBACKA, LPVOID, DWORD) override {
        return DIERR_UNSUPPORTED;
    }
    HRESULT GetDeviceStatus(REFGUID guid) override {
        return IsEqualGUID(guid, GUID_SysKeyboard) || IsEqualGUID(guid, GUID_SysMouse)
                   ? DI_OK
                   : DIERR_DEVICENOTREG;
    }
    HRESULT RunControlPanel(HWND, DWORD) override { return DIERR_UNSUPPORTED; }
    HRESULT Initialize(HINSTANCE, DWORD version) override {
        if (version < 0x0800) return DIERR_OLDDIRECTINPUTVERSION;
        if (version > 0x0800) return DIERR_BETADIRECTINPUTVERSION;
        return DI_OK;
    }
    HRESULT FindDevice(REFGUID, LPCSTR, LPGUID) override { return DIERR_DEVICENOTREG; }
    HRESULT EnumDevicesBySemantics(LPCSTR, LPDIACTIONFORMATA, LPDIENUMDEVICESBYSEMANTICSCBA,
                                   LPVOID, DWORD) override {
        return DIERR_UNSUPPORTED;
    }
    HRESULT ConfigureDevices(LPDICONFIGUREDEVICESCALLBACK, LPDICONFIGUREDEVICESPARAMSA, DWORD,
                             LPVOID) override {
        return DIERR_UNSUPPORTED;
    }

protected:
    bool Implements(REFIID riid) const override { return IsEqualGUID(riid, IID_IDirectInput8A); }

private:
    HRESULT Create(InputObject kind, LPDIRECTINPUTDEVICE8A* out, LPUNKNOWN outer) {
        HRESULT hr;
        bool scripted = CountAndScript(kind, InputCall::CreateDevice, &hr);
        if (!out) return DIERR_INVALIDPARAM;
        *out = nullptr;
        if (scripted) return hr;
        if (outer) return DIERR_NOAGGREGATION;
        if (kind == InputObject::DirectInput) return DIERR_DEVICENOTREG;
        *out = new Device(kind, this);
        return DI_OK;
    }
};

HRESULT Create(DWORD version, REFIID riid, LPVOID* out, LPUNKNOWN outer) {
    HRESULT hr;
    bool scripted = CountAndScript(InputObject::DirectInput, InputCall::Create, &hr);
    if (!out) return DIERR_INVALIDPARAM;
    *out = nullptr;
    if (scripted) return hr;
    if (B().failCreate) return B().failCreateResult;
    if (version < 0x0800) return DIERR_OLDDIRECTINPUTVERSION;
    if (version > 0x0800) return DIERR_BETADIRECTINPUTVERSION;
    if (!IsEqualGUID(riid, IID_IDirectInput8A)) return DIERR_NOINTERFACE;
    if (outer) return DIERR_NOAGGREGATION;
    ListenToEvents();
    *out = static_cast<IDirectInput8A*>(new DirectInput);
    return DI_OK;
}

}  // namespace

void RetainQuietly(IDirectInput8A* directInput) {
    static_cast<DirectInput*>(directInput)->AddRefQuietly();
}

void ReleaseQuietly(IDirectInput8A* directInput) {
    static_cast<DirectInput*>(directInput)->ReleaseQuietly();
}

}  // namespace dinput_internal

HRESULT WINAPI DirectInput8Create(HINSTANCE, DWORD version, REFIID riid, LPVOID* out,
                                  LPUNKNOWN outer) {
    using namespace dinput_internal;
    HRESULT hr = Create(version, riid, out, outer);
    Note("DirectInput8Create(" + Hex(static_cast<HRESULT>(version)) + ") = " + Hex(hr));
    return hr;
}
