// Test seam of the X-file reader service.
#pragma once

#include <string>

namespace platform_testing {

// Why the last file or template block was refused (the message also goes to
// the debugger output); empty after a successful load.
std::string XFileLastError();

// Keeps refusals out of the debugger output (for the fuzzer); still kept for
// XFileLastError.
void XFileQuietReports(bool quiet);

// Files (not memory) parsed since the program started. Within one load, a
// file unchanged since well before it was read is parsed once for each set of
// registered template blocks.
unsigned XFileFilesParsed();

}  // namespace platform_testing
