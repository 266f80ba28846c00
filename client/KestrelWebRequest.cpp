#include "KestrelWebRequest.h"

#include "platform/DispatchSemaphore.h"
#include "platform/JSONSerialization.h"
#include "platform/URLResponse.h"
#include "platform/URLSession.h"
#include "platform/URLSessionDelegate.h"
#include "platform/URLSessionDownloadTask.h"

#include <QFile>

#include <memory>
#include <mutex>
#include <utility>

namespace {

// Collects the body of the session's one task and answers when it ends.
// Every call runs on the session's serial delegate queue.
class Exchange : public platform::URLSessionDelegate {
public:
    explicit Exchange(KestrelWebRequest::Callback callback) : callback_(std::move(callback)) {}

    void URLSessionDownloadTaskDidFinishDownloadingToURL(platform::URLSession&, platform::URLSessionDownloadTask&,
                                                         const QUrl& location) override {
        QFile file(location.toLocalFile());
        if (file.open(QIODevice::ReadOnly)) {
            response_.body = file.readAll();
        }
    }
    void URLSessionTaskDidCompleteWithError(platform::URLSession&, platform::URLSessionTask& task,
                                            const std::optional<platform::Error>& error) override {
        if (const auto response = task.response()) {
            response_.statusCode = response->statusCode();
        }
        response_.error = error;
        if (callback_) {
            std::exchange(callback_, nullptr)(response_);
        }
    }

private:
    KestrelWebRequest::Callback callback_;
    KestrelWebResponse response_;
};

} // namespace

QString KestrelWebResponse::problem() const {
    if (error) {
        return error->localizedDescription();
    }
    const auto json = platform::JSONSerialization::read(body);
    if (json && json->kind() == platform::Value::Kind::Dictionary) {
        const platform::Value errors = (*json)[QStringLiteral("errors")];
        if (errors.kind() == platform::Value::Kind::Array && !errors.toArray().isEmpty()) {
            const platform::Value detail = errors.toArray().first()[QStringLiteral("detail")];
            if (detail.kind() == platform::Value::Kind::String) {
                return detail.toString();
            }
        }
    }
    return QStringLiteral("The server answered with status %1.").arg(statusCode);
}

void KestrelWebRequest::send(const platform::URLRequest& request, Callback callback) {
    const auto session = platform::URLSession::sessionWithConfiguration(
        platform::URLSessionConfiguration::defaultSessionConfiguration(),
        std::make_shared<Exchange>(std::move(callback)));
    const auto task = session->downloadTaskWithRequest(request);
    task->resume();
    // The session lives until its one task has ended and been reported.
    session->finishTasksAndInvalidate();
}

KestrelWebResponse KestrelWebRequest::sendAndWait(const platform::URLRequest& request,
                                                  std::chrono::milliseconds timeout) {
    struct Outcome {
        std::mutex mutex;
        KestrelWebResponse response;
    };
    const auto outcome = std::make_shared<Outcome>();
    const auto answered = platform::DispatchSemaphore::make();
    send(request, [outcome, answered](const KestrelWebResponse& response) {
        {
            std::lock_guard lock(outcome->mutex);
            outcome->response = response;
        }
        answered->signal();
    });
    if (!answered->wait(timeout)) {
        KestrelWebResponse timedOut;
        timedOut.error = platform::Error(platform::NSURLErrorDomain, platform::NSURLErrorTimedOut,
                                         {{platform::NSLocalizedDescriptionKey,
                                           QStringLiteral("The request to %1 timed out.")
                                               .arg(request.URL().toString())}});
        return timedOut;
    }
    std::lock_guard lock(outcome->mutex);
    return outcome->response;
}

platform::URLRequest KestrelWebRequest::makeJSONPost(const QUrl& url, const QByteArray& json) {
    platform::URLRequest request(url, platform::URLRequest::CachePolicy::ReloadIgnoringLocalCacheData);
    request.setHTTPMethod("POST");
    request.setValueForHTTPHeaderField("application/json", "Content-Type");
    request.setHTTPBody(json);
    return request;
}
