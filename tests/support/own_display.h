// A virtual X server of a test's own, for tests that need a screen of another
// size than the suite's display.
#pragma once

#include <string>

namespace own_display {

// Starts Xvfb with one screen of width x height and points DISPLAY (and SDL's
// video driver) at it. Call before the display is first opened; one server per
// process, ended with the process. False, with the reason, when Xvfb is
// missing or does not come up.
bool Start(int width, int height, std::string* why);

}  // namespace own_display
