#pragma once

// Tells ThreadSanitizer about an ordering that an outside library provides
// but that the sanitizer cannot see because the library is not built with it
// (Qt's queued and blocking hand-offs between threads). Everything a thread
// did before `annotateHappensBefore(p)` is ordered before what another thread
// does after a matching `annotateHappensAfter(p)`. Without the sanitizer both
// compile to nothing.

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace platform {

inline void annotateHappensBefore([[maybe_unused]] const void* address) {
#if defined(__SANITIZE_THREAD__)
    __tsan_release(const_cast<void*>(address));
#endif
}

inline void annotateHappensAfter([[maybe_unused]] const void* address) {
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(const_cast<void*>(address));
#endif
}

} // namespace platform
