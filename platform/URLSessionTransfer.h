#pragma once

#include "Error.h"
#include "NetworkThread.h"
#include "URLSessionResumeData.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace platform {

class DispatchQueue;
class URLSession;
class URLSessionDownloadTask;

// One download driven by libcurl on the network thread: the request, the
// body written to a file as it arrives, and the events handed to the
// session's delegate queue in the order they happen. Everything here runs on
// the network thread, apart from `Trust::fromEnvironment`.
class URLSessionTransfer : public NetworkThread::Transfer {
public:
    using ResumeDataHandler = std::function<void(const std::optional<QByteArray>&)>;

    // The certificates a session trusts, read once when the session is made.
    struct Trust {
        // PEM text of the bundle's certificates, after the system's where
        // libcurl has no folder to look those up in; empty when the system's
        // alone are trusted. libcurl only shares a connection between
        // requests that trust the same certificates.
        QByteArray certificates;
        // Why the bundle KESTREL_CA_BUNDLE names could not be used: HTTPS
        // transfers of the session fail with this rather than quietly
        // trusting less (or more) than the environment asked for.
        QString failure;

        static std::shared_ptr<const Trust> fromEnvironment();
    };

    // What a transfer takes from its session; the session itself only
    // weakly, so a session that goes away takes its events with it.
    struct Settings {
        std::weak_ptr<URLSession> session;
        std::shared_ptr<DispatchQueue> delegateQueue;
        double timeoutIntervalForRequest = 60.0;
        std::shared_ptr<const Trust> trust;
    };

    static void start(const std::shared_ptr<URLSessionDownloadTask>& task, const Settings& settings);
    // Ends the task with NSURLErrorCancelled. With a handler, the transfer
    // is kept for resuming when it can be, and the handler gets its resume
    // data (or nullopt).
    static void cancel(const std::shared_ptr<URLSessionDownloadTask>& task, const Settings& settings,
                       ResumeDataHandler handler);
    // Ends the task without telling anyone: its session is gone.
    static void abandon(const std::shared_ptr<URLSessionDownloadTask>& task);
    // Deletes the partial file resume data name, when it is the session's own.
    static void discardPartialFile(const QString& path);

    ~URLSessionTransfer() override;
    URLSessionTransfer(const URLSessionTransfer&) = delete;
    URLSessionTransfer& operator=(const URLSessionTransfer&) = delete;

    CURL* handle() const override { return handle_; }
    void finished(CURLcode result) override;
    std::optional<std::chrono::steady_clock::time_point> deadline() const override;
    void deadlineReached() override;

private:
    URLSessionTransfer(std::shared_ptr<URLSessionDownloadTask> task, Settings settings);

    static void postCompletion(const Settings& settings, const std::shared_ptr<URLSessionDownloadTask>& task,
                               const std::optional<Error>& error);
    // The resume data the task was made from, if they can still be used as they are.
    static std::optional<QByteArray> usableResumeData(const URLSessionDownloadTask& task);

    // Answers whether the request is ready to be handed to the network
    // thread; when it is not, the task has ended.
    bool begin();
    bool openFreshFile();
    bool openPartialFile(const URLSessionResumeData& resume);
    bool prepareRequest(const QUrl& url, double timeoutInterval);

    // libcurl's callbacks; a failure they find is kept in `failure_` and
    // ends the transfer once curl has let go of it.
    static size_t receiveHeader(char* data, size_t size, size_t count, void* self);
    static size_t receiveBody(char* data, size_t size, size_t count, void* self);
    bool headerBlockEnded();
    bool redirectAllowed(const QUrl& from, const QUrl& target);
    QUrl effectiveURL() const;
    bool takeResponse();
    // Adds `chunk` written bytes to the next report, and posts it when one
    // is due; a `chunk` of 0 posts what is left at once.
    void reportWritten(std::int64_t chunk);

    std::int64_t errorCodeFor(CURLcode result) const;
    std::optional<URLSessionResumeData> resumeDataNow() const;
    void cancelTransfer(ResumeDataHandler handler);
    void succeed();
    // Ends the task with the error; `offerResume` says whether the error may
    // carry resume data when the transfer can be continued.
    void fail(std::int64_t code, bool offerResume, const QString& description = {},
              const ResumeDataHandler& handler = nullptr);
    void detach();
    void closeFile(bool keep);
    // Tells the task which file it is writing now.
    void showFileBeingWritten();

    // Written bytes not yet reported to the delegate. Shared with the one
    // report in flight on the delegate queue; the network thread never
    // waits for that queue, so a mutex (held for a few assignments on
    // either side) guards it.
    struct PendingProgress {
        std::mutex mutex;
        bool posted = false;
        std::int64_t bytes = 0;
        std::int64_t total = 0;
        std::int64_t expected = -1;
    };

    struct Failure {
        std::int64_t code = 0;
        bool offerResume = false;
        QString description;
    };

    std::shared_ptr<URLSessionDownloadTask> task_;
    const Settings settings_;
    const std::shared_ptr<PendingProgress> progress_ = std::make_shared<PendingProgress>();
    CURL* handle_ = nullptr;
    struct curl_slist* requestHeaders_ = nullptr;
    int fd_ = -1;
    QString path_;
    // Bytes of the body in the file, counted from the body's first byte.
    std::int64_t written_ = 0;
    std::int64_t expected_ = -1;
    // Where the range we asked for starts; 0 for a whole body.
    std::int64_t requestedOffset_ = 0;
    bool done_ = false;
    std::optional<Failure> failure_;

    // The header block being received: its status and fields, in order.
    int blockStatus_ = 0;
    QList<std::pair<QByteArray, QByteArray>> blockFields_;
    // The block announced a redirect that curl follows: its body is not ours.
    bool redirecting_ = false;
    bool responseTaken_ = false;
    int statusCode_ = 0;
    QUrl currentURL_;
    QByteArray entityTag_;
    QByteArray lastModified_;
    bool acceptsRanges_ = false;

    std::chrono::steady_clock::duration idleLimit_{0};
    std::chrono::steady_clock::time_point lastActivity_;
    // When the last report was posted (network thread).
    std::chrono::steady_clock::time_point lastReport_;
};

} // namespace platform
