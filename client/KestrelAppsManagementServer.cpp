#include "KestrelAppsManagementServer.h"

#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Interprocess/AFXEnvironmentServiceID.h"
#include "SpecificTools/Model/AFXAppAlgorithms.h"
#include "SpecificTools/Model/AFXAppSearchResult.h"
#include "SpecificTools/Model/AFXAppWorkflow.h"
#include "SpecificTools/Model/AFXCodedAppCollection.h"
#include "SpecificTools/Model/AFXCodedVendorInstallResource.h"
#include "SpecificTools/Model/AFXEnvironment.h"
#include "SpecificTools/Model/AFXResourceExistsStatus.h"
#include "SpecificTools/Model/AFXVendorAppInstance.h"
#include "SpecificTools/Services/AFXServicesFactory.h"
#include "SpecificTools/Services/AppsManagement/AFXAppsManagementRequests.h"
#include "StoreCatalogue.h"
#include "StoreFileDownload.h"
#include "VendorAppInstallation.h"
#include "platform/FileManager.h"
#include "platform/Paths.h"
#include "platform/Workspace.h"
#include "support/BRAssertions.h"
#include "support/BRDispatch.h"
#include "support/BRLog.h"

#include <QFileInfo>

#include <algorithm>

namespace {

constexpr std::int64_t kNotInstalling = 0;
constexpr std::int64_t kInstalled = 2;

template <typename T> BRValueOrError<T> failed(const platform::Error& error) {
    return BRValueOrError<T>::makeWithError(error);
}

platform::Error missingApp(const QString& which) {
    return afx_makeErrorOfMissingObjectOfKind(QStringLiteral("App %1 in the store's catalogue").arg(which));
}

QList<std::shared_ptr<AFXAppInstance>> asInstances(const std::shared_ptr<AFXVendorAppInstance>& instance) {
    return instance ? QList<std::shared_ptr<AFXAppInstance>>{instance}
                    : QList<std::shared_ptr<AFXAppInstance>>{};
}

} // namespace

// The callers waiting for one app's installation.
struct KestrelAppsManagementServer::Installation {
    struct Request {
        std::shared_ptr<AFXCodedApp> app;
        bool shouldLaunch = false;
        AFXAppInstanceCallback callback;
    };
    std::shared_ptr<VendorAppInstallation> installation;
    QList<AFXAppInstanceCallback> installCallbacks;
    QList<AFXErrorCallback> stopCallbacks;
    bool shouldLaunch = false;
    // Installs asked for while this one was being stopped: they do not
    // share its cancellation, and start afresh once it has ended.
    QList<Request> installsAfterStop;
};

// The resources of one app being fetched one after the other.
struct KestrelAppsManagementServer::ResourcesPreparation {
    QList<std::shared_ptr<AFXCodedAppResource>> pending;
    QList<std::shared_ptr<AFXCodedResource>> prepared;
    qsizetype count = 0;
    QString folder;
    AFXFractionReportHandler reportHandler;
    AFXResourcesCallback callback;

    void report(double fractionOfCurrent) const {
        if (reportHandler) {
            reportHandler(count == 0 ? 1.0 : (double(prepared.size()) + fractionOfCurrent) / double(count));
        }
    }
};

const AFXServiceClass& KestrelAppsManagementServer::serviceClass() {
    static const AFXServiceClass serviceClass =
        AFXAppsManagementServer::serviceClass().withMaker<KestrelAppsManagementServer>(
            QStringLiteral("KestrelAppsManagementServer"));
    return serviceClass;
}

std::shared_ptr<KestrelAppsManagementServer> KestrelAppsManagementServer::makeWithServiceID(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
    const std::shared_ptr<AFXServicesFactory>& servicesFactory, const std::shared_ptr<AFXNetworkService>&) {
    return std::shared_ptr<KestrelAppsManagementServer>(
        new KestrelAppsManagementServer(serviceID, interprocessAdaptor, servicesFactory));
}

KestrelAppsManagementServer::KestrelAppsManagementServer(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
    const std::shared_ptr<AFXServicesFactory>& servicesFactory)
    : AFXAppsManagementServer(serviceID, interprocessAdaptor, servicesFactory),
      queue_(BRBuildInternalDispatchQueue(QStringLiteral("KestrelAppsManagementServer"))) {}

std::shared_ptr<KestrelAppsManagementServer> KestrelAppsManagementServer::sharedSelf() {
    return std::static_pointer_cast<KestrelAppsManagementServer>(shared_from_this());
}

void KestrelAppsManagementServer::assertOnQueue() const {
    if (!queue_->isCurrent()) {
        BRHandleAssertionFailure(QStringLiteral("The apps management server's state lives on its queue"));
    }
}

// MARK: - The catalogue

void KestrelAppsManagementServer::updateEnvironment(const std::shared_ptr<AFXEnvironment>& environment) {
    if (!environment) {
        return;
    }
    queue_->async([weakSelf = std::weak_ptr(sharedSelf()), environment] {
        if (const auto self = weakSelf.lock()) {
            self->environment_ = environment;
            ++self->environmentGeneration_;
            self->catalogue_ = nullptr;
        }
    });
}

void KestrelAppsManagementServer::withCatalogue(CatalogueCallback work, FailureCallback failure) {
    queue_->async([self = sharedSelf(), work = std::move(work), failure = std::move(failure)]() mutable {
        if (self->catalogue_) {
            work(*self->catalogue_);
            return;
        }
        self->catalogueWaiters_.emplaceBack(std::move(work), std::move(failure));
        if (self->loadingCatalogue_) {
            return;
        }
        self->loadingCatalogue_ = true;
        if (self->environment_) {
            self->loadCatalogue(self->environment_, self->environmentGeneration_);
            return;
        }
        // Nobody told us of our environment yet: ask the system management
        // service of this process for it.
        const auto factory = self->servicesFactory();
        if (!factory) {
            self->finishLoadingCatalogue(
                self->environmentGeneration_, nullptr,
                afx_makeErrorOfMissingServiceNamed(QStringLiteral("AFXServicesFactory"),
                                                   QStringLiteral("fetch environment")));
            return;
        }
        const std::uint64_t generation = self->environmentGeneration_;
        factory->fetchEnvironmentWithID(
            self->environmentID(), [weakSelf = std::weak_ptr(self), generation](const auto& result) {
                const auto self = weakSelf.lock();
                if (!self) {
                    return;
                }
                self->queue_->async([self, generation, result] {
                    result.onError([&](const platform::Error& error) {
                        self->finishLoadingCatalogue(generation, nullptr, error);
                    });
                    result.onValue([&](const std::shared_ptr<AFXEnvironment>& environment) {
                        if (generation == self->environmentGeneration_) {
                            self->environment_ = environment;
                        }
                        self->loadCatalogue(environment, generation);
                    });
                });
            });
    });
}

void KestrelAppsManagementServer::loadCatalogue(const std::shared_ptr<AFXEnvironment>& environment,
                                                std::uint64_t generation) {
    assertOnQueue();
    const auto manifest = environment->endpointsManifest();
    const auto store = manifest ? manifest->endpointForStoreAPI() : nullptr;
    if (!store) {
        finishLoadingCatalogue(generation, nullptr,
                               afx_makeErrorOfMissingObjectOfKind(QStringLiteral("Store endpoint")));
        return;
    }
    StoreCatalogue::fetchFromURL(store->URL().resolved(QUrl(QStringLiteral("catalogue.json"))), queue_,
                                 [weakSelf = std::weak_ptr(sharedSelf()),
                                  generation](const BRValueOrError<std::shared_ptr<StoreCatalogue>>& result) {
                                     if (const auto self = weakSelf.lock()) {
                                         self->finishLoadingCatalogue(
                                             generation, result.value() ? *result.value() : nullptr,
                                             result.error());
                                     }
                                 });
}

void KestrelAppsManagementServer::finishLoadingCatalogue(std::uint64_t generation,
                                                         const std::shared_ptr<StoreCatalogue>& catalogue,
                                                         const std::optional<platform::Error>& error) {
    assertOnQueue();
    loadingCatalogue_ = false;
    // A catalogue of an environment that has since been replaced answers the
    // callers that waited for it, but the next need fetches the new one.
    if (catalogue && generation == environmentGeneration_) {
        catalogue_ = catalogue;
    }
    const auto waiters = std::exchange(catalogueWaiters_, {});
    for (const auto& [work, failure] : waiters) {
        if (catalogue) {
            work(*catalogue);
        } else {
            failure(error.value_or(afx_makeErrorOfMissingObjectOfKind(QStringLiteral("Store catalogue"))));
        }
    }
}

void KestrelAppsManagementServer::withCatalogueApp(
    const std::shared_ptr<AFXCodedApp>& app,
    std::function<void(StoreCatalogue&, const std::shared_ptr<AFXCodedApp>&)> work, FailureCallback failure) {
    if (!app) {
        failure(missingApp(QStringLiteral("(none)")));
        return;
    }
    const std::int64_t appID = app->identifier();
    withCatalogue(
        [appID, work = std::move(work), failure](StoreCatalogue& catalogue) {
            if (const auto known = catalogue.appWithID(appID)) {
                work(catalogue, known);
            } else {
                failure(missingApp(QString::number(appID)));
            }
        },
        failure);
}

void KestrelAppsManagementServer::fetchAppsForCollectionWithID(std::optional<std::int64_t> collectionID,
                                                               AFXAppsCallback callback) {
    using Result = BRValueOrError<QList<std::shared_ptr<AFXCodedApp>>>;
    withCatalogue(
        [collectionID, callback](StoreCatalogue& catalogue) {
            if (!collectionID) {
                callback(Result::makeWithValue(catalogue.apps()));
                return;
            }
            const auto& collections = catalogue.collections();
            const auto collection = std::find_if(collections.begin(), collections.end(), [&](const auto& c) {
                return c->identifier() == *collectionID;
            });
            if (collection == collections.end()) {
                callback(failed<QList<std::shared_ptr<AFXCodedApp>>>(afx_makeErrorOfMissingObjectOfKind(
                    QStringLiteral("Collection %1 in the store's catalogue").arg(*collectionID))));
                return;
            }
            QList<std::shared_ptr<AFXCodedApp>> apps;
            for (const std::int64_t appID : (*collection)->applicationIDs()) {
                if (auto app = catalogue.appWithID(appID)) {
                    apps.append(std::move(app));
                }
            }
            callback(Result::makeWithValue(apps));
        },
        [callback](const platform::Error& error) {
            callback(failed<QList<std::shared_ptr<AFXCodedApp>>>(error));
        });
}

void KestrelAppsManagementServer::fetchAppWithID(std::int64_t appID, AFXAppCallback callback) {
    withCatalogue(
        [appID, callback](StoreCatalogue& catalogue) {
            const auto app = catalogue.appWithID(appID);
            callback(app ? BRValueOrError<std::shared_ptr<AFXCodedApp>>::makeWithValue(app)
                         : failed<std::shared_ptr<AFXCodedApp>>(missingApp(QString::number(appID))));
        },
        [callback](const platform::Error& error) { callback(failed<std::shared_ptr<AFXCodedApp>>(error)); });
}

void KestrelAppsManagementServer::fetchAppWithBundleId(const QString& bundleId, AFXAppCallback callback) {
    withCatalogue(
        [bundleId, callback](StoreCatalogue& catalogue) {
            const auto app = catalogue.appWithBundleIdentifier(bundleId);
            callback(app ? BRValueOrError<std::shared_ptr<AFXCodedApp>>::makeWithValue(app)
                         : failed<std::shared_ptr<AFXCodedApp>>(missingApp(bundleId)));
        },
        [callback](const platform::Error& error) { callback(failed<std::shared_ptr<AFXCodedApp>>(error)); });
}

void KestrelAppsManagementServer::fetchAppCollectionsWithCallback(AFXAppCollectionsCallback callback) {
    withCatalogue(
        [callback](StoreCatalogue& catalogue) {
            callback(BRValueOrError<QList<std::shared_ptr<AFXCodedAppCollection>>>::makeWithValue(
                catalogue.collections()));
        },
        [callback](const platform::Error& error) {
            callback(failed<QList<std::shared_ptr<AFXCodedAppCollection>>>(error));
        });
}

void KestrelAppsManagementServer::markAppAsViewed(const std::shared_ptr<AFXCodedApp>& app,
                                                  AFXErrorCallback callback) {
    withCatalogueApp(
        app,
        [callback](StoreCatalogue& catalogue, const std::shared_ptr<AFXCodedApp>& known) {
            // Records already handed out stay as they were: the catalogue takes a changed copy.
            const auto viewed = std::static_pointer_cast<AFXCodedApp>(known->copy());
            viewed->setDidPresentAsBrandNew(true);
            catalogue.replaceApp(viewed);
            callback(std::nullopt);
        },
        [callback](const platform::Error& error) { callback(error); });
}

void KestrelAppsManagementServer::searchAppsWithString(const QString& searchString,
                                                       bool ignoreAppsWithoutInstance,
                                                       std::uint64_t limitCount,
                                                       AFXAppSearchResultsCallback callback) {
    withCatalogue(
        [self = sharedSelf(), searchString, ignoreAppsWithoutInstance, limitCount,
         callback](StoreCatalogue& catalogue) {
            const QString wanted = searchString.trimmed();
            QList<std::shared_ptr<AFXAppSearchResult>> results;
            for (const auto& app : catalogue.apps()) {
                const QString name = app->name();
                if (wanted.isEmpty() || !name.contains(wanted, Qt::CaseInsensitive) ||
                    (ignoreAppsWithoutInstance && !self->placedInstanceOfApp(catalogue, app->identifier()))) {
                    continue;
                }
                auto result = AFXAppSearchResult::make();
                result->setApp(app);
                result->setScore(name.compare(wanted, Qt::CaseInsensitive) == 0 ? 1.0
                                 : name.startsWith(wanted, Qt::CaseInsensitive) ? 0.75
                                                                                : 0.5);
                results.append(std::move(result));
            }
            std::stable_sort(results.begin(), results.end(),
                             [](const auto& a, const auto& b) { return a->score() > b->score(); });
            if (limitCount > 0 && std::uint64_t(results.size()) > limitCount) {
                results.resize(qsizetype(limitCount));
            }
            callback(BRValueOrError<QList<std::shared_ptr<AFXAppSearchResult>>>::makeWithValue(results));
        },
        [callback](const platform::Error& error) {
            callback(failed<QList<std::shared_ptr<AFXAppSearchResult>>>(error));
        });
}

// MARK: - Placed apps

QUrl KestrelAppsManagementServer::installURLOfApp(const StoreCatalogue& catalogue, std::int64_t appID) const {
    return QUrl::fromLocalFile(platform::Paths::resolve(QStringLiteral("/Applications")) + QLatin1Char('/') +
                               catalogue.bundleNameOfAppWithID(appID));
}

std::shared_ptr<AFXVendorAppInstance>
KestrelAppsManagementServer::placedInstanceOfApp(const StoreCatalogue& catalogue, std::int64_t appID) const {
    assertOnQueue();
    // An app being installed is not in place yet, whatever is at its place.
    if (installations_.contains(appID)) {
        return nullptr;
    }
    return AFXVendorAppInstance::makeWithAppID(appID, installURLOfApp(catalogue, appID));
}

void KestrelAppsManagementServer::fetchAppInstancesWithCallback(AFXAppInstancesCallback callback) {
    using Result = BRValueOrError<QList<std::shared_ptr<AFXAppInstance>>>;
    withCatalogue(
        [self = sharedSelf(), callback](StoreCatalogue& catalogue) {
            QList<std::shared_ptr<AFXAppInstance>> instances;
            for (const auto& app : catalogue.apps()) {
                instances.append(asInstances(self->placedInstanceOfApp(catalogue, app->identifier())));
            }
            callback(Result::makeWithValue(instances));
        },
        [callback](const platform::Error& error) { callback(Result::makeWithError(error)); });
}

void KestrelAppsManagementServer::fetchAppInstancesWithAppID(std::int64_t appID,
                                                             AFXAppInstancesCallback callback) {
    using Result = BRValueOrError<QList<std::shared_ptr<AFXAppInstance>>>;
    withCatalogue(
        [self = sharedSelf(), appID, callback](StoreCatalogue& catalogue) {
            // An app the catalogue does not know has no instance of ours.
            callback(Result::makeWithValue(catalogue.appWithID(appID)
                                               ? asInstances(self->placedInstanceOfApp(catalogue, appID))
                                               : QList<std::shared_ptr<AFXAppInstance>>{}));
        },
        [callback](const platform::Error& error) { callback(Result::makeWithError(error)); });
}

void KestrelAppsManagementServer::launchApp(const std::shared_ptr<AFXCodedApp>& app,
                                            AFXAppInstanceCallback callback) {
    using Result = BRValueOrError<std::shared_ptr<AFXAppInstance>>;
    withCatalogueApp(
        app,
        [self = sharedSelf(), callback](StoreCatalogue& catalogue,
                                        const std::shared_ptr<AFXCodedApp>& known) {
            const auto instance = self->placedInstanceOfApp(catalogue, known->identifier());
            if (!instance) {
                callback(Result::makeWithError(afx_noAppInstanceToLaunch()));
                return;
            }
            platform::Error error(QString(), 0);
            if (!platform::Workspace::openApplicationAtURL(QUrl::fromLocalFile(instance->filePath()),
                                                           &error)) {
                callback(Result::makeWithError(error));
                return;
            }
            callback(Result::makeWithValue(instance));
        },
        [callback](const platform::Error& error) {
            callback(Result::makeWithError(afx_isMissingObject(error) ? afx_noAppInStoreToLaunch() : error));
        });
}

// MARK: - Installing vendor apps

void KestrelAppsManagementServer::fetchAppWorkflowForApp(const std::shared_ptr<AFXCodedApp>& app,
                                                         AFXAppWorkflowCallback callback) {
    using Result = BRValueOrError<std::shared_ptr<AFXAppWorkflow>>;
    withCatalogueApp(
        app,
        [self = sharedSelf(), callback](StoreCatalogue& catalogue,
                                        const std::shared_ptr<AFXCodedApp>& known) {
            const std::int64_t appID = known->identifier();
            if (const auto running = self->installations_.value(appID)) {
                callback(Result::makeWithValue(running->installation->workflow()));
                return;
            }
            auto workflow = AFXAppWorkflow::makeWithAppID(appID, self->installURLOfApp(catalogue, appID));
            const bool placed = self->placedInstanceOfApp(catalogue, appID) != nullptr;
            workflow->setState(placed ? kInstalled : kNotInstalling);
            workflow->setFractionCompleted(placed ? 1 : 0);
            callback(Result::makeWithValue(workflow));
        },
        [callback](const platform::Error& error) { callback(Result::makeWithError(error)); });
}

void KestrelAppsManagementServer::installVendorApp(const std::shared_ptr<AFXCodedApp>& app, bool shouldLaunch,
                                                   AFXAppInstanceCallback callback) {
    withCatalogueApp(
        app,
        [self = sharedSelf(), shouldLaunch, callback](StoreCatalogue& catalogue,
                                                      const std::shared_ptr<AFXCodedApp>& known) {
            self->installKnownApp(catalogue, known, shouldLaunch, callback);
        },
        [callback](const platform::Error& error) {
            callback(failed<std::shared_ptr<AFXAppInstance>>(error));
        });
}

void KestrelAppsManagementServer::installKnownApp(const StoreCatalogue& catalogue,
                                                  const std::shared_ptr<AFXCodedApp>& known,
                                                  bool shouldLaunch, AFXAppInstanceCallback callback) {
    assertOnQueue();
    const std::int64_t appID = known->identifier();
    std::shared_ptr<Installation> running = installations_.value(appID);
    if (running && !running->stopCallbacks.isEmpty()) {
        // Also before the look for a placed copy: the stop may be about to
        // take back the one it would find.
        running->installsAfterStop.append({known, shouldLaunch, callback});
        return;
    }
    if (const auto placed = placedInstanceOfApp(catalogue, appID)) {
        // Whoever follows the workflow learns that there is nothing to wait for.
        auto workflow = AFXAppWorkflow::makeWithAppID(appID, installURLOfApp(catalogue, appID));
        workflow->setState(kInstalled);
        workflow->setFractionCompleted(1);
        VendorAppInstallation::postWorkflowChange(workflow);
        if (shouldLaunch) {
            platform::Workspace::openApplicationAtURL(QUrl::fromLocalFile(placed->filePath()));
        }
        callback(BRValueOrError<std::shared_ptr<AFXAppInstance>>::makeWithValue(placed));
        return;
    }
    const bool starting = !running;
    if (starting) {
        running = std::make_shared<Installation>();
        installations_.insert(appID, running);
    }
    running->installCallbacks.append(callback);
    running->shouldLaunch = running->shouldLaunch || shouldLaunch;
    if (starting) {
        startInstallation(catalogue, known, running);
    }
}

void KestrelAppsManagementServer::startInstallation(const StoreCatalogue& catalogue,
                                                    const std::shared_ptr<AFXCodedApp>& app,
                                                    const std::shared_ptr<Installation>& installation) {
    assertOnQueue();
    const std::int64_t appID = app->identifier();
    platform::Error error(QString(), 0);
    const auto version = app->pickAppVersion(&error);
    const auto archive = version ? AFXVendorInstallResourceForVersion(*version, app->resources()) : nullptr;
    if (!archive) {
        finishInstallation(
            appID, BRValueOrError<QUrl>::makeWithError(version ? afx_noVendorInstallResource() : error));
        return;
    }
    std::weak_ptr weakSelf = sharedSelf();
    installation->installation = VendorAppInstallation::start(
        appID, archive->downloadURL(), installURLOfApp(catalogue, appID), version->size(), queue_,
        [weakSelf, appID](const BRValueOrError<QUrl>& result) {
            if (const auto self = weakSelf.lock()) {
                self->finishInstallation(appID, result);
            }
        });
}

void KestrelAppsManagementServer::finishInstallation(std::int64_t appID, const BRValueOrError<QUrl>& result) {
    assertOnQueue();
    const auto finished = installations_.take(appID);
    if (!finished) {
        return;
    }
    std::shared_ptr<AFXVendorAppInstance> instance;
    result.onValue(
        [&](const QUrl& placedURL) { instance = AFXVendorAppInstance::makeWithAppID(appID, placedURL); });
    if (instance && finished->shouldLaunch) {
        platform::Workspace::openApplicationAtURL(QUrl::fromLocalFile(instance->filePath()));
    }
    for (const auto& callback : finished->installCallbacks) {
        if (instance) {
            callback(BRValueOrError<std::shared_ptr<AFXAppInstance>>::makeWithValue(instance));
        } else {
            callback(failed<std::shared_ptr<AFXAppInstance>>(
                result.error().value_or(afx_didFailToInstallVendorAppForUnknownReason())));
        }
    }
    // The stop worked unless taking back what was placed failed.
    const std::optional<platform::Error> stopError =
        result.error() && !afx_isCancelled(*result.error()) ? result.error() : std::nullopt;
    for (const auto& callback : finished->stopCallbacks) {
        callback(stopError);
    }
    for (const auto& request : finished->installsAfterStop) {
        // At once while the catalogue is at hand: a stop asked from here on
        // must find the new installation.
        if (catalogue_) {
            installKnownApp(*catalogue_, request.app, request.shouldLaunch, request.callback);
        } else {
            installVendorApp(request.app, request.shouldLaunch, request.callback);
        }
    }
}

void KestrelAppsManagementServer::stopInstallVendorApp(const std::shared_ptr<AFXCodedApp>& app,
                                                       AFXErrorCallback callback) {
    if (!app) {
        callback(missingApp(QStringLiteral("(none)")));
        return;
    }
    // Found by the app's identifier alone, without the catalogue: a stop
    // must reach the installation also when the catalogue cannot be read
    // (a new environment, a store that no longer answers).
    queue_->async([self = sharedSelf(), appID = app->identifier(), callback] {
        // Installs asked after an earlier stop were asked before this one:
        // it ends them too.
        const auto end = [](Installation& running) {
            for (const auto& request : std::exchange(running.installsAfterStop, {})) {
                request.callback(failed<std::shared_ptr<AFXAppInstance>>(afx_cancel()));
            }
            running.installation->cancel();
        };
        const auto stop = [self, appID, callback, end] {
            const auto running = self->installations_.value(appID);
            if (!running) {
                callback(std::nullopt);
                return;
            }
            running->stopCallbacks.append(callback);
            end(*running);
        };
        if (self->loadingCatalogue_) {
            // An install waiting for the catalogue must not start after its
            // stop, which is answered once the catalogue is there; what is
            // running already ends at once all the same.
            if (const auto running = self->installations_.value(appID)) {
                end(*running);
            }
            self->catalogueWaiters_.emplaceBack([stop](StoreCatalogue&) { stop(); },
                                                [stop](const platform::Error&) { stop(); });
            return;
        }
        stop();
    });
}

// MARK: - Resources

void KestrelAppsManagementServer::prepareResourcesForApp(const std::shared_ptr<AFXCodedApp>& app,
                                                         std::uint64_t,
                                                         AFXFractionReportHandler reportHandler,
                                                         AFXResourcesCallback callback) {
    using Result = BRValueOrError<QList<std::shared_ptr<AFXCodedResource>>>;
    withCatalogueApp(
        app,
        [self = sharedSelf(), reportHandler, callback](StoreCatalogue&,
                                                       const std::shared_ptr<AFXCodedApp>& known) {
            const QString folder =
                self->environment_ ? self->environment_->URLForResourcesDirectory().toLocalFile() : QString();
            platform::Error error(QString(), 0);
            if (folder.isEmpty() || !platform::FileManager::createDirectory(folder, true, &error)) {
                callback(Result::makeWithError(afx_makeFailedDiskOperation(
                    QStringLiteral("make the resources folder \"%1\"").arg(folder), error)));
                return;
            }
            auto preparation = std::make_shared<ResourcesPreparation>();
            for (const auto& resource : known->resources()) {
                // What a page shows; archives are the installation's business.
                if (resource->kind() == AFXResourceKindAppIcon ||
                    resource->kind() == AFXResourceKindScreenshot) {
                    preparation->pending.append(resource);
                }
            }
            preparation->count = preparation->pending.size();
            preparation->folder = folder;
            preparation->reportHandler = reportHandler;
            preparation->callback = callback;
            preparation->report(0);
            self->prepareNextResource(preparation);
        },
        [callback](const platform::Error& error) { callback(Result::makeWithError(error)); });
}

void KestrelAppsManagementServer::prepareNextResource(
    const std::shared_ptr<ResourcesPreparation>& preparation) {
    assertOnQueue();
    if (preparation->pending.isEmpty()) {
        preparation->report(0);
        preparation->callback(
            BRValueOrError<QList<std::shared_ptr<AFXCodedResource>>>::makeWithValue(preparation->prepared));
        return;
    }
    const auto resource = preparation->pending.takeFirst();
    // Named after the resource's identifier (a digest of its address), with
    // the file's own extension so that it opens as what it is.
    const QString suffix = QFileInfo(resource->downloadURL().path()).suffix();
    const QString path = preparation->folder + QLatin1Char('/') + resource->identifier() +
                         (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
    const auto prepared = [preparation, resource, path] {
        auto copy = std::static_pointer_cast<AFXCodedResource>(resource->copy());
        copy->setStatus(AFXResourceExistsStatus::makeWithStorageURL(QUrl::fromLocalFile(path)));
        preparation->prepared.append(copy);
    };
    if (platform::FileManager::fileExists(path)) {
        prepared();
        prepareNextResource(preparation);
        return;
    }
    std::weak_ptr weakSelf = sharedSelf();
    StoreFileDownload::start(
        resource->downloadURL(), path, QStringLiteral("resource"), queue_,
        [preparation](std::int64_t written, std::int64_t expected) {
            if (expected > 0) {
                preparation->report(std::min(1.0, double(written) / double(expected)));
            }
        },
        [weakSelf, preparation, prepared](const std::optional<platform::Error>& error) {
            const auto self = weakSelf.lock();
            if (!self) {
                return;
            }
            if (error) {
                BRLogError("Did fail to prepare a resource: %@", *error);
                preparation->callback(
                    BRValueOrError<QList<std::shared_ptr<AFXCodedResource>>>::makeWithError(*error));
                return;
            }
            prepared();
            self->prepareNextResource(preparation);
        });
}
