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
// It keeps its session alive until the session is done with it, since a
// session that goes away stops its transfers. Every call runs on the
// session's serial delegate queue.
class Exchange : public platform::URLSessionDelegate {
public:
    explicit Exchange(KestrelWebRequest::Callback callback) : callback_(std::move(callback)) {}

    void keep(std::shared_ptr<platform::URLSession> session) { session_ = std::move(session); }

    void URLSessionDownloadTaskDidFinishDownloadingToURL(platform::URLSession&,
                                                         platform::URLSessionDownloadTask&,
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
        if (error) {
            // Nothing resumes a request: what came of it goes.
            platform::URLSession::discardResumeDataOfError(*error);
        }
        if (callback_) {
            std::exchange(callback_, nullptr)(response_);
        }
    }

    void URLSessionDidBecomeInvalidWithError(platform::URLSession&,
                                             const std::optional<platform::Error>&) override {
        // Let go of the session once this call has returned, not inside it.
        platform::DispatchQueue::global()->async([session = std::move(session_)] {});
    }

private:
    std::shared_ptr<platform::URLSession> session_;
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
    const auto exchange = std::make_shared<Exchange>(std::move(callback));
    const auto session = platform::URLSession::sessionWithConfiguration(
        platform::URLSessionConfiguration::defaultSessionConfiguration(), exchange);
    // Kept before the task can end, on the delegate queue like every other
    // use of the exchange.
    session->delegateQueue()->sync([&] { exchange->keep(session); });
    session->downloadTaskWithRequest(request)->resume();
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
        timedOut.error =
            platform::Error(platform::NSURLErrorDomain, platform::NSURLErrorTimedOut,
                            {{platform::NSLocalizedDescriptionKey,
                              QStringLiteral("The request to %1 timed out.").arg(request.URL().toString())}});
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
