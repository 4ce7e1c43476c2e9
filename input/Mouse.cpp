#include "input/Mouse.h"

#include <cstdint>
#include <cstring>

#include "app/Globals.h"
#include "app/Utility.h"
#include "input/DirectInput.h"

namespace {

const int kCursorMaxX = 1279;
const int kCursorMaxY = 1023;

int Clamp(int64_t v, int hi) {
    if (v < 0) return 0;
    if (v > hi) return hi;
    return static_cast<int>(v);
}

}  // namespace

Mouse::Mouse()
    : m_Device(NULL), m_Extra(NULL), m_Acquired(0), m_CursorShown(0), m_CursorX(0), m_CursorY(0) {
    std::memset(&m_State, 0, sizeof m_State);
}

Mouse::~Mouse() {
    if (m_Extra) {
        m_Extra->Release();
        m_Extra = NULL;
    }
    if (m_Device) {
        m_Device->Unacquire();
        m_Device->Release();
        m_Device = NULL;
    }
}

HRESULT Mouse::Init() {
    if (!g_DirectInput) return E_FAIL;
    if (m_Device) {
        // Releasing an acquired device gives up the mouse as well.
        m_Device->Release();
        // Cleared: should a step below fail, no poll may reach the released device.
        m_Device = NULL;
        m_Acquired = 0;
    }

    if (FAILED(g_DirectInput->CreateDevice(GUID_SysMouse, &m_Device, NULL))) {
        ReportError("Unable to create mouse device");
        return E_FAIL;
    }
    if (FAILED(m_Device->SetDataFormat(&c_dfDIMouse))) {
        ReportError("Unable to set the mouse data format");
        return E_FAIL;
    }
    if (FAILED(m_Device->SetCooperativeLevel(g_hWnd, DISCL_EXCLUSIVE | DISCL_FOREGROUND))) {
        ReportError("Unable to set the cooperative level for the mouse");
        return E_FAIL;
    }
    if (FAILED(m_Device->Acquire())) {
        ReportError("Unable to acquire mouse");
        return E_FAIL;
    }
    m_Acquired = 1;
    return 0;
}

HRESULT Mouse::Poll() {
    if (!m_Acquired) return E_FAIL;
    HRESULT hr = m_Device->GetDeviceState(sizeof m_State, &m_State);
    if (SUCCEEDED(hr)) return 0;

    // Movement is relative: kept from the last good read, it would move the
    // cursor and turn the camera again every frame.
    m_State.lX = 0;
    m_State.lY = 0;
    m_State.lZ = 0;
    if (hr != DIERR_INPUTLOST) return E_FAIL;
    if (FAILED(AcquireWhileLost(m_Device))) return 0;
    m_Device->GetDeviceState(sizeof m_State, &m_State);
    return 0;
}

MouseMovement Mouse::GetMovement() {
    MouseMovement movement;
    movement.x = m_State.lX;
    movement.y = m_State.lY;
    return movement;
}

int Mouse::IsButtonDown(int button) {
    if (button < 0 || button > 3) return 0;
    return (m_State.rgbButtons[button] & 0x80) ? 1 : 0;
}

void Mouse::SetCursorPos(int x, int y) {
    m_CursorX = Clamp(x, kCursorMaxX);
    m_CursorY = Clamp(y, kCursorMaxY);
    if (g_Device) g_Device->SetCursorPosition(m_CursorX, m_CursorY, 0);
}

void Mouse::GetCursorPos(int* x, int* y) {
    *x = m_CursorX;
    *y = m_CursorY;
}

void Mouse::MoveCursor(int dx, int dy) {
    // Unclamped; wraps as 32-bit arithmetic does rather than overflowing.
    m_CursorX = static_cast<int>(static_cast<uint32_t>(m_CursorX) + static_cast<uint32_t>(dx));
    m_CursorY = static_cast<int>(static_cast<uint32_t>(m_CursorY) + static_cast<uint32_t>(dy));
    if (g_Device) g_Device->SetCursorPosition(m_CursorX, m_CursorY, 0);
}

void Mouse::UpdateCursor() {
    m_CursorX = Clamp(static_cast<int64_t>(m_CursorX) + m_State.lX, kCursorMaxX);
    m_CursorY = Clamp(static_cast<int64_t>(m_CursorY) + m_State.lY, kCursorMaxY);
    if (g_Device) g_Device->SetCursorPosition(m_CursorX, m_CursorY, 0);
}

int Mouse::ShowCursor() {
    if (!m_Acquired || !m_CursorShown) return 0;
    SetCursor(NULL);
    if (g_Device) g_Device->ShowCursor(TRUE);
    return 1;
}
