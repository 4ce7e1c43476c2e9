// Start-up and clean-up of the application.
#pragma once

#include <windows.h>

// 1 when start-up is complete, E_FAIL when it stopped.
int InitApplication(HWND window);
void CleanupApplication();
