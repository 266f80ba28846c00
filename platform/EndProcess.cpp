#include "EndProcess.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#if defined(__SANITIZE_THREAD__)
namespace {
std::atomic<int> threadSanitizerReports{0};
// The status ThreadSanitizer gives a normal exit after a report.
constexpr int kThreadSanitizerStatus = 66;
} // namespace

// Called by ThreadSanitizer for every report. Its own exit-time check does
// not run when static destructors do not, so the reports are counted here.
extern "C" void __tsan_on_report(void*) {
    threadSanitizerReports.fetch_add(1);
}
#endif

namespace platform {

void endProcess(int status) {
    std::fflush(nullptr);
#if defined(__SANITIZE_ADDRESS__)
    __lsan_do_leak_check();
#endif
#if defined(__SANITIZE_THREAD__)
    if (status == 0 && threadSanitizerReports.load() > 0) {
        std::fprintf(stderr, "ThreadSanitizer: reported %d warnings\n", threadSanitizerReports.load());
        status = kThreadSanitizerStatus;
    }
#endif
    std::_Exit(status);
}

} // namespace platform
