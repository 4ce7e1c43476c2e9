#include "app/Application.h"

#include "app/Globals.h"

int InitApplication(HWND /*window*/) { return 1; }

void CleanupApplication() {}
