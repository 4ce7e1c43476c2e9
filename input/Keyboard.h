// The system keyboard as a DirectInput device.
#pragma once

#include <dinput.h>

class Keyboard {
public:
    Keyboard();
    ~Keyboard();

    // Creates, sets up and acquires the device from g_DirectInput. 0 or E_FAIL.
    HRESULT Init();
    // 1 while the key with that DirectInput code is down, else 0. Every
    // question reads the whole keyboard afresh.
    int IsKeyDown(int code);

private:
    IDirectInputDevice8A* m_Device;
    BYTE m_Keys[256];  // the last state read
    int m_Acquired;
};
