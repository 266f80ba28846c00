#pragma once

namespace platform {

// Settings shared by every task of a session.
struct URLSessionConfiguration {
    // Idle seconds before a task fails, for requests that keep
    // URLRequest::DefaultTimeoutInterval. Zero or less: no limit.
    double timeoutIntervalForRequest = 60.0;

    static URLSessionConfiguration defaultSessionConfiguration() { return {}; }
};

} // namespace platform
