// The system mouse as a DirectInput device in exclusive mode, with a cursor
// position of its own.
#pragma once

#include <dinput.h>

// Relative movement of one reading.
struct MouseMovement {
    int x;
    int y;
};

class Mouse {
public:
    Mouse();
    ~Mouse();

    // Creates, sets up and acquires the device from g_DirectInput. 0 or E_FAIL.
    HRESULT Init();
    // Reads the device once (once a frame); 0 when read, E_FAIL otherwise.
    HRESULT Poll();
    // The movement of the last poll.
    MouseMovement GetMovement();
    // 1 while button 0..3 was down at the last poll, else 0.
    int IsButtonDown(int button);

    // The cursor of the mouse, kept within 0..1279 by 0..1023 by the setter and
    // by UpdateCursor, and handed to the device's cursor.
    void SetCursorPos(int x, int y);
    void GetCursorPos(int* x, int* y);
    void MoveCursor(int dx, int dy);
    void UpdateCursor();
    // 1 when the device's cursor was shown instead of the system's, else 0.
    int ShowCursor();

private:
    IDirectInputDevice8A* m_Device;
    IUnknown* m_Extra;  // released with the mouse; nothing sets it
    int m_Acquired;
    int m_CursorShown;
    DIMOUSESTATE m_State;  // the last poll
    int m_CursorX;
    int m_CursorY;
};
