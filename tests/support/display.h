// Tests on a real display. Where there is no display at all (a machine
// without X) they are skipped, and say so; where one is named, failing to
// open it is the window layer's failure, not a reason to skip.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/win32/native.h"

#define BRANTO_OPEN_DISPLAY_OR_SKIP()                                                         \
    do {                                                                                      \
        if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))                       \
            GTEST_SKIP() << "no display: neither DISPLAY nor WAYLAND_DISPLAY is set";         \
        ASSERT_TRUE(win32_native::EnsureVideo()) << "a display is named but cannot be opened"; \
    } while (0)
