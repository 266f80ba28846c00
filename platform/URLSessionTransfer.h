#pragma once

#include "Error.h"
#include "URLSessionResumeData.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslError>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QNetworkReply;

namespace platform {

class DispatchQueue;
class URLSession;
class URLSessionDownloadTask;

// One download driven on the network thread: the request, the body written
// to a file as it arrives, and the events handed to the session's delegate
// queue in the order they happen. Everything here runs on the network
// thread, apart from `Trust::fromEnvironment`.
class URLSessionTransfer : public QObject {
public:
    using ResumeDataHandler = std::function<void(const std::optional<QByteArray>&)>;

    // The certificates a session trusts besides the system's, read once
    // when the session is made.
    struct Trust {
        QList<QSslCertificate> certificates;
        // Names the set of certificates; empty for the system's alone.
        QByteArray key;
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

    ~URLSessionTransfer() override;

private:
    URLSessionTransfer(std::shared_ptr<URLSessionDownloadTask> task, Settings settings);

    static void postCompletion(const Settings& settings, const std::shared_ptr<URLSessionDownloadTask>& task,
                               const std::optional<Error>& error);
    // The resume data the task was made from, if they can still be used as they are.
    static std::optional<QByteArray> usableResumeData(const URLSessionDownloadTask& task);

    void begin();
    bool openFreshFile();
    bool openPartialFile(const URLSessionResumeData& resume);
    void sendRequest(const QUrl& url, double timeoutInterval);
    void startIdleClock(double timeoutInterval);
    void readBody();
    void reportWritten(std::int64_t chunk);
    bool takeResponse();
    void replyFinished();
    void redirected(const QUrl& target);
    void cancelTransfer(ResumeDataHandler handler);
    void stopReply();

    std::int64_t errorCodeForReply() const;
    std::optional<URLSessionResumeData> resumeDataNow() const;
    void succeed();
    // Ends the task with the error; `offerResume` says whether the error may
    // carry resume data when the transfer can be continued.
    void fail(std::int64_t code, bool offerResume, const QString& description = {},
              const ResumeDataHandler& handler = nullptr);
    void detach();
    void closeFile(bool keep);

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

    std::shared_ptr<URLSessionDownloadTask> task_;
    const Settings settings_;
    const std::shared_ptr<PendingProgress> progress_ = std::make_shared<PendingProgress>();
    QNetworkReply* reply_ = nullptr;
    int fd_ = -1;
    QString path_;
    std::vector<char> buffer_;
    // Bytes of the body in the file, counted from the body's first byte.
    std::int64_t written_ = 0;
    std::int64_t expected_ = -1;
    // Where the range we asked for starts; 0 for a whole body.
    std::int64_t requestedOffset_ = 0;
    bool responseTaken_ = false;
    bool backlogLimited_ = false;
    bool done_ = false;
    int statusCode_ = 0;
    QUrl currentURL_;
    QByteArray entityTag_;
    QByteArray lastModified_;
    bool acceptsRanges_ = false;
    QList<QSslError> sslErrors_;
    std::chrono::milliseconds idleLimit_{0};
    QElapsedTimer sinceActivity_;
};

} // namespace platform
