#include "KestrelEnvironmentLoader.h"

#include "KestrelWebRequest.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Model/AFXDefaultEnvironmentID.h"
#include "SpecificTools/Model/AFXEndpointsManifest.h"
#include "SpecificTools/Model/AFXEnvironment.h"
#include "platform/JSONSerialization.h"
#include "support/BRDispatch.h"

#include <utility>

namespace {
const QString kManifestOperation = QStringLiteral("fetching the endpoints manifest");
} // namespace

std::shared_ptr<KestrelEnvironmentLoader> KestrelEnvironmentLoader::make() {
    return std::shared_ptr<KestrelEnvironmentLoader>(new KestrelEnvironmentLoader);
}

KestrelEnvironmentLoader::KestrelEnvironmentLoader()
    : queue_(BRBuildInternalDispatchQueue(QStringLiteral("kestrel-environment-loader"))) {}

platform::URLRequest KestrelEnvironmentLoader::manifestRequest() {
    return platform::URLRequest(AFXDefaultEnvironmentID::make()->manifestURL(),
                                platform::URLRequest::CachePolicy::ReloadIgnoringLocalCacheData, 15.0);
}

BRValueOrError<std::shared_ptr<AFXEnvironment>>
KestrelEnvironmentLoader::environmentFromResponse(const QUrl& manifestURL,
                                                  const KestrelWebResponse& response) {
    using Outcome = BRValueOrError<std::shared_ptr<AFXEnvironment>>;
    if (response.error) {
        return Outcome::makeWithError(afx_makeNetworkErrorWithUnderlyingError(response.error));
    }
    if (!response.isSuccess()) {
        return Outcome::makeWithError(afx_makeServerErrorOnOperation(
            kManifestOperation,
            platform::Error(
                AFXDefaultErrorDomain, AFXErrorCodeServer,
                {{platform::NSLocalizedDescriptionKey,
                  QStringLiteral("%1 answered: %2").arg(manifestURL.toString(), response.problem())}})));
    }
    platform::Error error(QString(), 0);
    const auto json = platform::JSONSerialization::read(response.body, &error);
    const auto manifest = AFXEndpointsManifest::make();
    if (!json || !manifest->setupWithJSON(*json, &error)) {
        return Outcome::makeWithError(
            afx_makeServerResponseParsingErrorOnOperation(kManifestOperation, error));
    }
    manifest->setOriginURL(manifestURL);
    return Outcome::makeWithValue(manifest->makeEnvironmentWithID(AFXDefaultEnvironmentID::make()));
}

void KestrelEnvironmentLoader::fetchEnvironmentUpdated(bool updated, AFXEnvironmentCallback callback) {
    queue_->async([self = shared_from_this(), updated, callback = std::move(callback)] {
        if (self->environment_ && !updated) {
            callback(BRValueOrError<std::shared_ptr<AFXEnvironment>>::makeWithValue(self->environment_));
            return;
        }
        self->waiting_.append(callback);
        if (self->waiting_.size() > 1) {
            return;
        }
        const platform::URLRequest request = manifestRequest();
        KestrelWebRequest::send(request, [self, url = request.URL()](const KestrelWebResponse& response) {
            const auto outcome = environmentFromResponse(url, response);
            self->queue_->async([self, outcome] { self->finishFetch(outcome); });
        });
    });
}

void KestrelEnvironmentLoader::finishFetch(const BRValueOrError<std::shared_ptr<AFXEnvironment>>& outcome) {
    BRAssertOnQueue(queue_);
    if (outcome.hasValue()) {
        environment_ = *outcome.value();
        state_ = State::Loaded;
    } else if (!environment_) {
        state_ = State::Failed;
    }
    for (const auto& callback : std::exchange(waiting_, {})) {
        callback(outcome);
    }
}

KestrelEnvironmentLoader::State KestrelEnvironmentLoader::state() const {
    State state = State::Unknown;
    queue_->sync([&] { state = state_; });
    return state;
}

BRValueOrError<std::shared_ptr<AFXEnvironment>>
KestrelEnvironmentLoader::loadEnvironmentAndWait(std::chrono::milliseconds timeout) {
    const platform::URLRequest request = manifestRequest();
    return environmentFromResponse(request.URL(), KestrelWebRequest::sendAndWait(request, timeout));
}
