#pragma once

#include "platform/Error.h"
#include "platform/URLRequest.h"

#include <QByteArray>

#include <chrono>
#include <functional>
#include <optional>

// One HTTP(S) exchange with the store: the status and the whole body, or
// why there is neither. HTTPS peers are trusted as every session of the
// process trusts them (the system's CAs plus KESTREL_CA_BUNDLE).
struct KestrelWebResponse {
    int statusCode = 0;
    QByteArray body;
    // A transport failure; a response of any status is not one.
    std::optional<platform::Error> error;

    bool isSuccess() const { return !error && statusCode >= 200 && statusCode < 300; }
    // What went wrong, for a person: the transport's failure, the first
    // "errors[].detail" of a JSON error body, or the status.
    QString problem() const;
};

class KestrelWebRequest {
public:
    using Callback = std::function<void(const KestrelWebResponse&)>;

    // Sends the request; the callback runs once, on a queue of the request's own.
    static void send(const platform::URLRequest& request, Callback callback);
    // Sends and waits; a response that does not come within `timeout` is a
    // timed-out failure. Never call it from the main queue of a program
    // that answers on it.
    static KestrelWebResponse sendAndWait(const platform::URLRequest& request,
                                          std::chrono::milliseconds timeout);
    // A POST of a JSON document.
    static platform::URLRequest makeJSONPost(const QUrl& url, const QByteArray& json);
};
