#pragma once

namespace platform {

// Ends the process with `status` once the standard streams are out, without
// running static destructors: the dispatch pool's threads are never joined
// and may still be at work, and the libraries' globals (QtDBus's among them)
// must not go away under them. Builds with the address sanitizer check for
// leaks first, and builds with the thread sanitizer end with its status
// after a report, as a normal exit would.
[[noreturn]] void endProcess(int status);

} // namespace platform
