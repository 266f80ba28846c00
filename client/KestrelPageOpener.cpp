#include "KestrelPageOpener.h"

#include "KestrelEnvironmentLoader.h"
#include "KestrelWebRequest.h"
#include "SpecificTools/Model/AFXEndpoint.h"
#include "SpecificTools/Model/AFXEndpointsManifest.h"
#include "SpecificTools/Model/AFXEnvironment.h"
#include "platform/FileManager.h"
#include "platform/JSONSerialization.h"
#include "platform/Paths.h"

#include <QFile>
#include <QFileInfo>

#include <chrono>

namespace {

// A page is shown at once: an unreachable store costs a few seconds at most.
constexpr auto kCatalogueTimeout = std::chrono::seconds(5);

} // namespace

std::optional<QString> KestrelPageOpener::appNameFromCatalogue(std::int64_t appID) {
    const auto environment = KestrelEnvironmentLoader::loadEnvironmentAndWait(kCatalogueTimeout);
    if (!environment.hasValue()) {
        return std::nullopt;
    }
    const auto manifest = (*environment.value())->endpointsManifest();
    const auto store = manifest ? manifest->endpointForStoreAPI() : nullptr;
    if (!store) {
        return std::nullopt;
    }
    const KestrelWebResponse response = KestrelWebRequest::sendAndWait(
        platform::URLRequest(store->URL().resolved(QUrl(QStringLiteral("catalogue.json"))),
                             platform::URLRequest::CachePolicy::ReloadIgnoringLocalCacheData),
        kCatalogueTimeout);
    const auto catalogue =
        response.isSuccess() ? platform::JSONSerialization::read(response.body) : std::nullopt;
    if (!catalogue) {
        return std::nullopt;
    }
    for (const platform::Value& app : (*catalogue)[QStringLiteral("apps")].toArray()) {
        const platform::Value name = app[QStringLiteral("name")];
        if (app[QStringLiteral("id")].toInteger() == appID && name.kind() == platform::Value::Kind::String) {
            return name.toString();
        }
    }
    return std::nullopt;
}

int KestrelPageOpener::open(const KestrelDiscoveryURL& page, std::FILE* output, std::FILE* errors) {
    const QString name = appNameFromCatalogue(page.appID).value_or(QStringLiteral("app %1").arg(page.appID));
    const QString sender = !page.sender.isEmpty()         ? page.sender
                           : !page.senderDomain.isEmpty() ? page.senderDomain
                                                          : QStringLiteral("an unnamed sender");
    std::fprintf(output, "Kestrel: showing %s (app %lld) for %s\n", qUtf8Printable(name),
                 static_cast<long long>(page.appID), qUtf8Printable(sender));

    const QString logPath =
        platform::Paths::resolve(QStringLiteral("~/Library/Logs/Kestrel/opened-pages.log"));
    platform::Error error(QString(), 0);
    QFile log(logPath);
    if (!platform::FileManager::createDirectory(QFileInfo(logPath).absolutePath(), true, &error) ||
        !log.open(QIODevice::WriteOnly | QIODevice::Append) || log.write(page.text.toUtf8() + '\n') < 0) {
        std::fprintf(errors, "Kestrel: cannot record the page in %s\n", qUtf8Printable(logPath));
        return 1;
    }
    return 0;
}
