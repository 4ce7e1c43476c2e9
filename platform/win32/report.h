// The layer's own diagnostics: one line on the debugger output (standard error)
// naming the file or object and what is wrong with it. Files are read more than
// once (the level twice, the character's file by two readers) and several
// materials may name the same texture: each distinct line is written once a run.
#pragma once

#include <string>

namespace layer {

// `line` without its line end.
void ReportOnce(const std::string& line);

}  // namespace layer
