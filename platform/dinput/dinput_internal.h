// Shared between the files of the DirectInput layer.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "com_object.h"
#include "dinput.h"
#include "testing_dinput.h"

namespace dinput_internal {

using platform_testing::InputCall;
using platform_testing::InputObject;

// A keyboard or mouse device.
class Device final
    : public layer::RefCounted<IDirectInputDevice8A, layer::ObjectFamily::DirectInput> {
public:
    Device(InputObject kind, IDirectInput8A* parent);
    ~Device() override;

    ULONG Release() override;

    HRESULT GetCapabilities(LPDIDEVCAPS caps) override;
    HRESULT EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA callback, LPVOID ref, DWORD flags) override;
    HRESULT GetProperty(REFGUID property, LPDIPROPHEADER header) override;
    HRESULT SetProperty(REFGUID property, LPCDIPROPHEADER header) override;
    HRESULT Acquire() override;
    HRESULT Unacquire() override;
    HRESULT GetDeviceState(DWORD size, LPVOID data) override;
    HRESULT GetDeviceData(DWORD objectDataSize, LPDIDEVICEOBJECTDATA data, LPDWORD inOut,
                          DWORD flags) override;
    HRESULT SetDataFormat(LPCDIDATAFORMAT format) override;
    HRESULT SetEventNotification(HANDLE event) override;
    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override;
    HRESULT GetObjectInfo(LPDIDEVICEOBJECTINSTANCEA info, DWORD object, DWORD how) override;
    HRESULT GetDeviceInfo(LPDIDEVICEINSTANCEA info) override;
    HRESULT RunControlPanel(HWND owner, DWORD flags) override;
    HRESULT Initialize(HINSTANCE instance, DWORD version, REFGUID guid) override;
    HRESULT CreateEffect(REFGUID guid, LPCDIEFFECT effect, LPDIRECTINPUTEFFECT* out,
                         LPUNKNOWN outer) override;
    HRESULT EnumEffects(LPDIENUMEFFECTSCALLBACKA callback, LPVOID ref, DWORD type) override;
    HRESULT GetEffectInfo(LPDIEFFECTINFOA info, REFGUID guid) override;
    HRESULT GetForceFeedbackState(LPDWORD out) override;
    HRESULT SendForceFeedbackCommand(DWORD flags) override;
    HRESULT EnumCreatedEffectObjects(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK callback, LPVOID ref,
                                     DWORD flags) override;
    HRESULT Escape(LPDIEFFESCAPE escape) override;
    HRESULT Poll() override;
    HRESULT SendDeviceData(DWORD objectDataSize, LPCDIDEVICEOBJECTDATA data, LPDWORD inOut,
                           DWORD flags) override;
    HRESULT EnumEffectsInFile(LPCSTR fileName, LPDIENUMEFFECTSINFILECALLBACK callback, LPVOID ref,
                              DWORD flags) override;
    HRESULT WriteEffectToFile(LPCSTR fileName, DWORD entries, LPDIFILEEFFECT effects,
                              DWORD flags) override;
    HRESULT BuildActionMap(LPDIACTIONFORMATA format, LPCSTR userName, DWORD flags) override;
    HRESULT SetActionMap(LPDIACTIONFORMATA format, LPCSTR userName, DWORD flags) override;
    HRESULT GetImageInfo(LPDIDEVICEIMAGEINFOHEADERA header) override;

    InputObject Kind() const { return kind_; }
    // Movement reaches the device only while it is acquired and has its input.
    void AddMotion(int64_t dx, int64_t dy, int64_t dz);
    // The window with that SDL id lost the focus.
    void WindowLostFocus(uint32_t sdlWindowId);

protected:
    bool Implements(REFIID riid) const override;

private:
    enum class Format { None, Keyboard, Mouse, Mouse2 };

    bool Foreground() const { return (cooperation_ & DISCL_FOREGROUND) != 0; }
    bool Exclusive() const { return (cooperation_ & DISCL_EXCLUSIVE) != 0; }
    bool Focused() const;
    DWORD StateSize() const;
    void LoseInput();
    void HoldPointer(bool hold);
    // The call's result, noted with its one argument when it has one (arg >= 0).
    HRESULT Done(InputCall call, HRESULT result, int64_t arg = -1);

    InputObject kind_;
    IDirectInput8A* parent_;  // held with a reference of the layer's own
    Format format_ = Format::None;
    HWND window_ = nullptr;
    DWORD cooperation_ = DISCL_NONEXCLUSIVE | DISCL_BACKGROUND;
    bool acquired_ = false;
    bool lost_ = false;  // acquired, but the window lost the focus since
    int64_t dx_ = 0, dy_ = 0, dz_ = 0;
};

// The layer's state: what the devices report, and the test seams. Immortal:
// devices are released during static destruction.
struct Backend {
    BYTE keys[256] = {};
    BYTE buttons[8] = {};
    std::vector<Device*> devices;
    int focusOverride = -1;  // -1: the window's own focus
    const Device* pointerHolder = nullptr;
    bool sdlRelative = false;  // SDL's relative mouse mode was turned on by us

    std::map<std::pair<int, int>, std::deque<HRESULT>> scripts;
    std::map<std::pair<int, int>, int> counts;
    bool failCreate = false;
    HRESULT failCreateResult = DIERR_GENERIC;
    bool record = false;
    std::vector<std::string> log;
    std::function<void(const std::string&)> hook;
    bool listening = false;
};
Backend& B();

// Counts the call; true (and the result) when a script makes it fail.
bool CountAndScript(InputObject object, InputCall call, HRESULT* result);
// A line for the call log and the hook; Noting() tells whether any is wanted.
bool Noting();
void Note(const std::string& line);
const char* ObjectName(InputObject object);
std::string Hex(HRESULT result);

// References the layer holds itself, kept out of the counts and the log.
void RetainQuietly(IDirectInput8A* directInput);
void ReleaseQuietly(IDirectInput8A* directInput);

// SDL events pumped by the window layer feed the devices from then on.
void ListenToEvents();
int DikFromScancode(int scancode);
void MouseMotion(int64_t dx, int64_t dy, int64_t dz);
void MouseButton(int button, bool down);

}  // namespace dinput_internal
