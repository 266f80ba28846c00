#pragma once

// Ends the process with `status` once the logs and the standard streams are
// out. Static destructors do not run: threads of the dispatch pool may still
// be answering peers, and the libraries' globals (QtDBus's among them) must
// not go away under them. Builds with the address sanitizer check for leaks
// first, as a normal exit would.
[[noreturn]] void BRExitProcess(int status);
