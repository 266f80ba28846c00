#pragma once

#include "platform/DispatchQueue.h"
#include "platform/Error.h"
#include "platform/URLSession.h"
#include "platform/URLSessionDelegate.h"

#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// One transfer from the store into a file: the catalogue, an app's archive,
// a resource. It runs on the platform's URL session, so HTTPS peers are
// checked as every download of the system checks them (the system's CAs
// plus the bundle KESTREL_CA_BUNDLE names).
//
// Progress and the one completion run on the queue given at the start,
// which must be serial. The completion has no error once the whole body is
// at the destination; otherwise it has the error in the framework's domain
// (the cancellation error after `cancel`), and nothing was put at the
// destination. The transfer keeps itself alive until it has completed.
class StoreFileDownload : public platform::URLSessionDelegate,
                          public std::enable_shared_from_this<StoreFileDownload> {
public:
    using ProgressHandler =
        std::function<void(std::int64_t totalBytesWritten, std::int64_t totalBytesExpected)>;
    using CompletionHandler = std::function<void(const std::optional<platform::Error>&)>;

    // `requestID` names the transfer in logged errors and lets a test make it
    // fail (see afx_interpretNetworkResponse). The progress handler may be null.
    static std::shared_ptr<StoreFileDownload> start(const QUrl& url, const QString& destinationPath,
                                                    const QString& requestID,
                                                    const std::shared_ptr<platform::DispatchQueue>& queue,
                                                    ProgressHandler progressHandler,
                                                    CompletionHandler completionHandler);

    // Stops the transfer, from any thread; the completion follows with the
    // cancellation error unless the transfer had already ended.
    void cancel();
    // The file the body is being written to, in order from its first byte,
    // while the transfer runs (store transfers never resume); empty
    // otherwise. Its first totalBytesWritten bytes, as the progress handler
    // was last told, stay as they are.
    QString fileBeingWritten() const;

    // platform::URLSessionDelegate, on the queue.
    void URLSessionDownloadTaskDidWriteData(platform::URLSession& session,
                                            platform::URLSessionDownloadTask& task, std::int64_t bytesWritten,
                                            std::int64_t totalBytesWritten,
                                            std::int64_t totalBytesExpectedToWrite) override;
    void URLSessionDownloadTaskDidFinishDownloadingToURL(platform::URLSession& session,
                                                         platform::URLSessionDownloadTask& task,
                                                         const QUrl& location) override;
    void URLSessionTaskDidCompleteWithError(platform::URLSession& session, platform::URLSessionTask& task,
                                            const std::optional<platform::Error>& error) override;

private:
    StoreFileDownload(QString destinationPath, QString requestID, ProgressHandler progressHandler,
                      CompletionHandler completionHandler);

    const QString destinationPath_;
    const QString requestID_;
    // Set before the transfer starts and never changed. The session holds
    // this object as its delegate until its task has ended, and a session
    // must outlive its transfers: the two keep each other until then.
    std::shared_ptr<platform::URLSession> session_;
    std::shared_ptr<platform::URLSessionDownloadTask> task_;
    // On the queue: what went wrong after the body arrived, and the handlers
    // (dropped once the completion ran).
    std::optional<platform::Error> placementError_;
    ProgressHandler progressHandler_;
    CompletionHandler completionHandler_;
};
