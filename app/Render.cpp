#include "app/Render.h"

#include "app/Globals.h"

void UpdateAndRender() {}

int UpdateMouseLook() { return 0; }
