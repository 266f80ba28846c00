#pragma once

#include "URLSessionTask.h"

#include <QByteArray>

#include <functional>
#include <optional>

namespace platform {

// User-info key of a failed download's error: the resume data (Value data).
inline const QString NSURLSessionDownloadTaskResumeData =
    QStringLiteral("NSURLSessionDownloadTaskResumeData");

// A transfer into a file. Resume data is opaque bytes naming the URL, the
// partial file and the validators the server gave (entity tag, date); a
// task made from them asks for the rest with a range request that only
// holds while the validators do, and starts over when the server does not
// honour it.
class URLSessionDownloadTask : public URLSessionTask {
public:
    // Cancels the transfer; the handler gets the resume data, or nullopt when
    // the transfer cannot be continued. It runs on the session's delegate
    // queue.
    void cancelByProducingResumeData(std::function<void(const std::optional<QByteArray>&)> completionHandler);

    // The file the body is being written to, while the transfer runs; empty
    // otherwise. It grows in order: its first totalBytesWritten bytes, as
    // the delegate was last told, stay as they are until the task ends,
    // unless the task was made from resume data (a range the server does
    // not honour starts the file over). Only this task writes it.
    QString fileBeingWritten() const;

private:
    friend class URLSession;
    friend class URLSessionTransfer;
    using URLSessionTask::URLSessionTask;
    // Set for a task made from resume data.
    std::optional<QByteArray> resumeData_;
    // Under the task's mutex.
    QString fileBeingWritten_;
};

} // namespace platform
