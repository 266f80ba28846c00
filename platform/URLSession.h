#pragma once

#include "DispatchQueue.h"
#include "URLRequest.h"
#include "URLSessionConfiguration.h"
#include "URLSessionDelegate.h"
#include "URLSessionDownloadTask.h"

#include <QByteArray>

#include <functional>
#include <memory>
#include <optional>

namespace platform {

// Runs transfers on the process's network thread and reports them to its
// delegate on its delegate queue (a serial queue; the session makes one of
// its own when given none, and puts one in front of a concurrent one). The
// session holds its delegate strongly until it is invalidated. HTTPS peers
// are checked against the system's CAs plus those in the PEM file
// KESTREL_CA_BUNDLE names, read when the session is made; when that file
// cannot be read or holds no certificate, the session's HTTPS transfers
// fail with NSURLErrorSecureConnectionFailed saying so, rather than trust
// other certificates than the environment asked for. Redirects are followed
// to the same origin or to HTTPS addresses. Local caches are never used.
// A session that goes away without being invalidated stops its transfers
// without telling anyone.
class URLSession : public std::enable_shared_from_this<URLSession> {
public:
    static std::shared_ptr<URLSession>
    sessionWithConfiguration(const URLSessionConfiguration& configuration,
                             std::shared_ptr<URLSessionDelegate> delegate,
                             std::shared_ptr<DispatchQueue> delegateQueue = nullptr);
    ~URLSession();
    URLSession(const URLSession&) = delete;
    URLSession& operator=(const URLSession&) = delete;

    const URLSessionConfiguration& configuration() const { return configuration_; }
    const std::shared_ptr<DispatchQueue>& delegateQueue() const { return delegateQueue_; }

    // A suspended task, or null once the session is invalidated.
    std::shared_ptr<URLSessionDownloadTask> downloadTaskWithRequest(const URLRequest& request);
    // A suspended task continuing the transfer the resume data describes.
    // Resume data that cannot be read, whose partial file is gone, or that
    // name anything but a download file of the temporary folder (a path
    // elsewhere, a symbolic or a second hard link) give a task that fails as
    // soon as it is resumed (NSURLErrorCannotOpenFile), leaving that file alone.
    std::shared_ptr<URLSessionDownloadTask> downloadTaskWithResumeData(const QByteArray& resumeData);
    // Deletes the partial file of resume data that will not be used, under
    // the same rule: only a download file of the temporary folder goes.
    static void discardResumeData(const QByteArray& resumeData);
    // The same for the resume data a failed task's error carries, if any.
    static void discardResumeDataOfError(const Error& error);

    // Cancels every task and lets the delegate go once the last event is
    // delivered; no new task can be made.
    void invalidateAndCancel();
    // Lets running tasks finish, then lets the delegate go.
    void finishTasksAndInvalidate();

private:
    friend class URLSessionTask;
    friend class URLSessionDownloadTask;
    friend class URLSessionTransfer;

    URLSession(URLSessionConfiguration configuration, std::shared_ptr<URLSessionDelegate> delegate,
               std::shared_ptr<DispatchQueue> delegateQueue);

    std::shared_ptr<URLSessionDownloadTask> makeTask(const URLRequest& request,
                                                     std::optional<QByteArray> resumeData);
    void invalidate(bool cancelTasks);
    // Called by tasks, from any thread.
    void resumeTask(const std::shared_ptr<URLSessionDownloadTask>& task);
    void cancelTask(const std::shared_ptr<URLSessionDownloadTask>& task,
                    std::function<void(const std::optional<QByteArray>&)> resumeDataHandler);
    // On the delegate queue only: the delegate, until it is let go.
    std::shared_ptr<URLSessionDelegate> delegateOnQueue() const;
    // On the delegate queue: tells the delegate a task ended, and lets the
    // delegate go after the last task of an invalidated session.
    void deliverCompletion(URLSessionTask& task, const std::optional<Error>& error);
    // On the delegate queue, once an invalidated session has no task left:
    // the last word to the delegate, then the delegate goes.
    void becomeInvalid();

    const URLSessionConfiguration configuration_;
    const std::shared_ptr<DispatchQueue> delegateQueue_;
    // The rest is the implementation's: tasks by identifier, the delegate,
    // the invalidated flag.
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace platform
