#include "input/DirectInput.h"

#include "app/Globals.h"
#include "app/Utility.h"

namespace {

const int kMaxAcquireTries = 16;

}  // namespace

HRESULT InitDirectInput() {
    if (g_DirectInput) {
        g_DirectInput->Release();
        g_DirectInput = NULL;
    }

    void* created = NULL;
    HRESULT hr = DirectInput8Create(g_hInstance, DIRECTINPUT_VERSION, IID_IDirectInput8A, &created,
                                    NULL);
    g_DirectInput = static_cast<IDirectInput8A*>(created);
    if (FAILED(hr)) {
        ReportError("Failed to create DirectInput");
        return E_FAIL;
    }
    if (FAILED(g_Keyboard.Init())) {
        ReportError("Failed to initialize keyboard");
        return E_FAIL;
    }
    if (FAILED(g_Mouse.Init())) {
        ReportError("Unable to initialize mouse");
        return E_FAIL;
    }
    return 0;
}

void ReleaseDirectInput() {
    if (g_DirectInput) {
        g_DirectInput->Release();
        g_DirectInput = NULL;
    }
}

HRESULT AcquireWhileLost(IDirectInputDevice8A* device) {
    HRESULT hr = device->Acquire();
    for (int tries = 1; hr == DIERR_INPUTLOST && tries < kMaxAcquireTries; ++tries)
        hr = device->Acquire();
    return hr;
}
