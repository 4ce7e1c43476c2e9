// A virtual X server of a test's own, for tests that need a screen of another
// size than the suite's display.
#pragma once

#include <string>

namespace own_display {

enum class Result { Started, Missing, Failed };

// Starts Xvfb with one screen of width x height and points DISPLAY (and SDL's
// video driver) at it. Call before the display is first opened; one server per
// process, ended with the process. Missing when there is no Xvfb to run;
// Failed, with the reason, when it does not come up.
Result Start(int width, int height, std::string* why);

}  // namespace own_display
