#include "input/Keyboard.h"

#include <cstring>

#include "app/Globals.h"
#include "app/Utility.h"
#include "input/DirectInput.h"

Keyboard::Keyboard() : m_Device(NULL), m_Acquired(0) { std::memset(m_Keys, 0, sizeof m_Keys); }

Keyboard::~Keyboard() {
    if (m_Device) {
        m_Device->Unacquire();
        m_Device->Release();
        m_Device = NULL;
    }
}

HRESULT Keyboard::Init() {
    if (!g_DirectInput) return E_FAIL;
    if (m_Device) {
        m_Device->Unacquire();
        m_Device->Release();
        // Cleared: should a step below fail, no question may reach the released device.
        m_Device = NULL;
        m_Acquired = 0;
    }

    if (FAILED(g_DirectInput->CreateDevice(GUID_SysKeyboard, &m_Device, NULL))) {
        ReportError("Failed to create key device");
        return E_FAIL;
    }
    if (FAILED(m_Device->SetDataFormat(&c_dfDIKeyboard))) {
        ReportError("Unable to set the keyboard data format");
        return E_FAIL;
    }
    if (FAILED(m_Device->SetCooperativeLevel(g_hWnd, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND))) {
        ReportError("Unable to set keyboard cooperative level");
        return E_FAIL;
    }
    if (FAILED(m_Device->Acquire())) {
        ReportError("Unable to acquire the keyboard");
        return E_FAIL;
    }
    m_Acquired = 1;
    return 0;
}

int Keyboard::IsKeyDown(int code) {
    if (!m_Acquired) return 0;
    if (code < 0 || code > 255) return 0;

    HRESULT hr = m_Device->GetDeviceState(sizeof m_Keys, m_Keys);
    if (FAILED(hr)) {
        if (hr != DIERR_INPUTLOST) return 0;
        if (FAILED(AcquireWhileLost(m_Device))) return 0;
        m_Device->GetDeviceState(sizeof m_Keys, m_Keys);
    }
    return (m_Keys[code] & 0x80) ? 1 : 0;
}
