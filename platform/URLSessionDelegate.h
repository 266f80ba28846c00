#pragma once

#include "Error.h"

#include <QUrl>

#include <cstdint>
#include <optional>

namespace platform {

class URLSession;
class URLSessionTask;
class URLSessionDownloadTask;

// Receives a session's events on the session's delegate queue, in the order
// they happened. Every method is optional.
class URLSessionDelegate {
public:
    virtual ~URLSessionDelegate() = default;

    // A chunk was written to the download's file. The expected total is
    // URLSessionTransferSizeUnknown when the server sent no length.
    virtual void URLSessionDownloadTaskDidWriteData(URLSession&, URLSessionDownloadTask&,
                                                    std::int64_t /*bytesWritten*/,
                                                    std::int64_t /*totalBytesWritten*/,
                                                    std::int64_t /*totalBytesExpectedToWrite*/) {}
    // The whole body is in the file at `location`, which exists only while
    // this call runs: move or read it before returning.
    virtual void URLSessionDownloadTaskDidFinishDownloadingToURL(URLSession&, URLSessionDownloadTask&,
                                                                 const QUrl& /*location*/) {}
    // The task ended: no error on success; an NSURLErrorDomain error
    // otherwise, which holds NSURLSessionDownloadTaskResumeData when the
    // transfer can be continued.
    virtual void URLSessionTaskDidCompleteWithError(URLSession&, URLSessionTask&,
                                                    const std::optional<Error>& /*error*/) {}
    // The session was invalidated and every task of it has ended, its files
    // cleaned up; the session lets the delegate go after this call.
    virtual void URLSessionDidBecomeInvalidWithError(URLSession&, const std::optional<Error>& /*error*/) {}
};

} // namespace platform
