#pragma once

#include "SpecificTools/Services/AFXServiceCallbacks.h"
#include "platform/DispatchQueue.h"
#include "platform/URLRequest.h"

#include <QList>

#include <chrono>
#include <memory>

struct KestrelWebResponse;

// The client's one environment, the store's default one, made from the
// endpoints manifest fetched from the default environment's manifest URL.
// The environment is kept once fetched; an updated fetch asks the store
// again. Fetches that come while one runs wait for its answer.
//
// The kept environment and the waiting callbacks live on the loader's
// queue ("kestrel-environment-loader"); callbacks run there too.
class KestrelEnvironmentLoader : public std::enable_shared_from_this<KestrelEnvironmentLoader> {
public:
    enum class State {
        // Nothing fetched yet.
        Unknown,
        // An environment is kept.
        Loaded,
        // The last fetch failed and none is kept.
        Failed,
    };

    static std::shared_ptr<KestrelEnvironmentLoader> make();

    void fetchEnvironmentUpdated(bool updated, AFXEnvironmentCallback callback);
    State state() const;

    // The environment fetched at once and waited for, for a run of the
    // program that does nothing else meanwhile.
    static BRValueOrError<std::shared_ptr<AFXEnvironment>>
    loadEnvironmentAndWait(std::chrono::milliseconds timeout);

private:
    KestrelEnvironmentLoader();
    static platform::URLRequest manifestRequest();
    static BRValueOrError<std::shared_ptr<AFXEnvironment>>
    environmentFromResponse(const QUrl& manifestURL, const KestrelWebResponse& response);
    // On the queue.
    void finishFetch(const BRValueOrError<std::shared_ptr<AFXEnvironment>>& outcome);

    const std::shared_ptr<platform::DispatchQueue> queue_;
    std::shared_ptr<AFXEnvironment> environment_;
    State state_ = State::Unknown;
    QList<AFXEnvironmentCallback> waiting_;
};
