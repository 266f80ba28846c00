#include "StoreFileDownload.h"

#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Errors/AFXNetworkErrors.h"
#include "platform/FileManager.h"
#include "platform/URLRequest.h"
#include "platform/URLSessionConfiguration.h"
#include "platform/URLSessionDownloadTask.h"

StoreFileDownload::StoreFileDownload(QString destinationPath, QString requestID,
                                     ProgressHandler progressHandler, CompletionHandler completionHandler)
    : destinationPath_(std::move(destinationPath)), requestID_(std::move(requestID)),
      progressHandler_(std::move(progressHandler)), completionHandler_(std::move(completionHandler)) {}

std::shared_ptr<StoreFileDownload>
StoreFileDownload::start(const QUrl& url, const QString& destinationPath, const QString& requestID,
                         const std::shared_ptr<platform::DispatchQueue>& queue,
                         ProgressHandler progressHandler, CompletionHandler completionHandler) {
    std::shared_ptr<StoreFileDownload> download(new StoreFileDownload(
        destinationPath, requestID, std::move(progressHandler), std::move(completionHandler)));
    download->session_ = platform::URLSession::sessionWithConfiguration(
        platform::URLSessionConfiguration::defaultSessionConfiguration(), download, queue);
    download->task_ = download->session_->downloadTaskWithRequest(
        platform::URLRequest(url, platform::URLRequest::CachePolicy::ReloadIgnoringLocalCacheData));
    download->session_->finishTasksAndInvalidate();
    download->task_->resume();
    return download;
}

void StoreFileDownload::cancel() {
    task_->cancel();
}

QString StoreFileDownload::fileBeingWritten() const {
    return task_->fileBeingWritten();
}

void StoreFileDownload::URLSessionDownloadTaskDidWriteData(platform::URLSession&,
                                                           platform::URLSessionDownloadTask&, std::int64_t,
                                                           std::int64_t totalBytesWritten,
                                                           std::int64_t totalBytesExpectedToWrite) {
    if (progressHandler_) {
        progressHandler_(totalBytesWritten, totalBytesExpectedToWrite);
    }
}

void StoreFileDownload::URLSessionDownloadTaskDidFinishDownloadingToURL(
    platform::URLSession&, platform::URLSessionDownloadTask& task, const QUrl& location) {
    const std::optional<platform::URLResponse> response = task.response();
    placementError_ = afx_interpretNetworkResponse(response ? &*response : nullptr, requestID_, std::nullopt);
    if (placementError_) {
        return;
    }
    platform::Error error(QString(), 0);
    if (platform::FileManager::fileExists(destinationPath_) &&
        !platform::FileManager::removeItem(destinationPath_, &error)) {
        placementError_ = afx_makeFailedDiskOperation(QStringLiteral("replace ") + destinationPath_, error);
        return;
    }
    if (!platform::FileManager::moveItem(location.toLocalFile(), destinationPath_, &error)) {
        placementError_ =
            afx_makeFailedDiskOperation(QStringLiteral("move download to ") + destinationPath_, error);
    }
}

void StoreFileDownload::URLSessionTaskDidCompleteWithError(platform::URLSession&,
                                                           platform::URLSessionTask& task,
                                                           const std::optional<platform::Error>& error) {
    std::optional<platform::Error> outcome = placementError_;
    if (error) {
        // Nothing resumes a store transfer: what came of it goes.
        platform::URLSession::discardResumeDataOfError(*error);
    }
    if (error && afx_isCancelled(*error)) {
        outcome = afx_cancel();
    } else if (error) {
        const std::optional<platform::URLResponse> response = task.response();
        outcome = afx_interpretNetworkResponse(response ? &*response : nullptr, requestID_, error);
    }
    progressHandler_ = nullptr;
    if (const CompletionHandler completion = std::exchange(completionHandler_, nullptr)) {
        completion(outcome);
    }
}
