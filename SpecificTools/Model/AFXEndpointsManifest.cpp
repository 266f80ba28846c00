#include "AFXEndpointsManifest.h"

#include "AFXEnvironment.h"
#include "AFXEnvironmentID.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "platform/Paths.h"
#include "platform/ValueClasses.h"
#include "platform/ValueConversion.h"
#include "support/BRDispatch.h"
#include "support/BRJSONParser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXEndpointsManifest, AFXBaseMutableModelObject,
    [] { return std::shared_ptr<AFXEndpointsManifest>(new AFXEndpointsManifest); },
    [](platform::Class& c) {
        using M = AFXEndpointsManifest;
        platform::addProperty(c, QStringLiteral("name"), &M::name, &M::setName);
        platform::addProperty(c, QStringLiteral("originURL"), &M::originURL, &M::setOriginURL);
        platform::addProperty(c, QStringLiteral("endpointForCustomerAPI"), &M::endpointForCustomerAPI,
                              &M::setEndpointForCustomerAPI);
        platform::addProperty(c, QStringLiteral("endpointForStoreAPI"), &M::endpointForStoreAPI,
                              &M::setEndpointForStoreAPI);
        platform::addProperty(c, QStringLiteral("endpointForUsageReportingAPI"),
                              &M::endpointForUsageReportingAPI, &M::setEndpointForUsageReportingAPI);
        platform::addProperty(c, QStringLiteral("endpointForRecommendationsAPI"),
                              &M::endpointForRecommendationsAPI, &M::setEndpointForRecommendationsAPI);
    })

namespace {

void fail(platform::Error* error, const platform::Error& reason) {
    if (error) {
        *error = reason;
    }
}

// The folders of this Mac are decided once per process; the memo is kept
// per resolved path, so that a process that changes its root (tests do)
// gets the folders of the new root.
struct DirectoriesMemo {
    std::shared_ptr<platform::DispatchQueue> queue =
        BRBuildInternalDispatchQueue(QStringLiteral("environment-directories"));
    QHash<QString, QString> appsDirectories;
    QHash<QString, bool> teasersDirectories;
};

DirectoriesMemo& memo() {
    static auto* m = new DirectoriesMemo;
    return *m;
}

bool isWritableDirectory(const QString& path) {
    return QFileInfo(path).isDir() && access(QFile::encodeName(path).constData(), W_OK) == 0;
}

QString findAppsDirectory() {
    const QString local = platform::Paths::resolve(QStringLiteral("/Applications"));
    if (isWritableDirectory(local)) {
        return local + QStringLiteral("/Kestrel");
    }
    const QString user = platform::Paths::resolve(QStringLiteral("~/Applications"));
    QDir().mkpath(user);
    if (isWritableDirectory(user)) {
        return user + QStringLiteral("/Kestrel");
    }
    return local + QStringLiteral("/Kestrel");
}

QString appsDirectory() {
    const QString key = platform::Paths::resolve(QStringLiteral("/Applications"));
    QString path;
    memo().queue->sync([&] {
        auto it = memo().appsDirectories.constFind(key);
        if (it == memo().appsDirectories.cend()) {
            it = memo().appsDirectories.insert(key, findAppsDirectory());
        }
        path = *it;
    });
    return path;
}

// Clears the immutable flag where the file system keeps one; without the
// right to change it the folder stays as it is.
void clearImmutableFlag(const QString& path) {
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    int flags = 0;
    if (ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_IMMUTABLE_FL)) {
        flags &= ~FS_IMMUTABLE_FL;
        ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    close(fd);
}

void prepareTeasersDirectory(const QString& path) {
    const QFileInfo info(path);
    if ((info.exists() || info.isSymLink()) && !(info.isDir() && !info.isSymLink())) {
        QFile::remove(path);
    }
    QDir().mkpath(path);
    clearImmutableFlag(path);
    chmod(QFile::encodeName(path).constData(), 0777);
}

QString teasersDirectory() {
    const QString path = platform::Paths::resolve(QStringLiteral("/Users/Shared/Kestrel/Apps"));
    memo().queue->sync([&] {
        if (!memo().teasersDirectories.contains(path)) {
            prepareTeasersDirectory(path);
            memo().teasersDirectories.insert(path, true);
        }
    });
    return path;
}

QString environmentDirectory(const QString& directoryName, const QString& leaf) {
    const QString path = platform::Paths::resolve(
        QStringLiteral("~/Library/Application Support/Kestrel/%1/%2").arg(directoryName, leaf));
    QDir().mkpath(path);
    return path;
}

} // namespace

std::shared_ptr<BRClassReflection> AFXEndpointsManifest::makeReflection() {
    auto reflection = BRReflection<AFXBaseMutableModelObject>()->copy();
    reflection->addPropertyForSelector(QStringLiteral("name"), platform::ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("originURL"), platform::ValueClasses::url());
    for (const char* key : {"endpointForCustomerAPI", "endpointForStoreAPI", "endpointForUsageReportingAPI",
                            "endpointForRecommendationsAPI"}) {
        reflection->addPropertyForSelector(QString::fromLatin1(key), AFXEndpoint::staticClass());
    }
    return reflection;
}

std::shared_ptr<AFXEndpointsManifest> AFXEndpointsManifest::make() {
    return std::shared_ptr<AFXEndpointsManifest>(new AFXEndpointsManifest);
}

bool AFXEndpointsManifest::setupWithJSON(const platform::Value& json, platform::Error* error) {
    auto parser = BRJSONParser::makeWithJSON(json);
    if (!parser) {
        fail(error, afx_endpoinstManifestIsCorruptedWithKey(QStringLiteral("data")));
        return false;
    }
    const auto name = parser->stringForKeyPath(QStringLiteral("data.attributes.name"));
    const auto endpoints =
        parser->objectForKeyPath(QStringLiteral("data.relationships.endpoints"), BRJSONType::Array);
    if (parser->lastError()) {
        fail(error, *parser->lastError());
        return false;
    }
    std::shared_ptr<AFXEndpoint> customer, store, reporting, recommendations;
    for (const platform::Value& element : endpoints->toArray()) {
        auto elementParser = BRJSONParser::makeWithJSON(element);
        if (!elementParser) {
            fail(error, afx_endpoinstManifestIsCorruptedWithKey(QStringLiteral("data")));
            return false;
        }
        const auto identifier = elementParser->stringForKeyPath(QStringLiteral("data.id"));
        const auto baseURL = elementParser->stringForKeyPath(QStringLiteral("data.attributes.base_url"));
        const auto selfSufficient =
            elementParser->numberForKeyPath(QStringLiteral("data.attributes.self_sufficient"));
        if (!baseURL) {
            fail(error, afx_endpoinstManifestIsCorruptedWithKey(QStringLiteral("base_url")));
            return false;
        }
        const QUrl URL(*baseURL, QUrl::StrictMode);
        if (!URL.isValid() || URL.isRelative()) {
            fail(error, afx_endpoinstManifestIsCorruptedWithKey(QStringLiteral("valid base_url")));
            return false;
        }
        if (elementParser->lastError()) {
            fail(error, *elementParser->lastError());
            return false;
        }
        const auto endpoint = AFXEndpoint::makeWithType(
            selfSufficient->toBool() ? AFXEndpointTypeSelfSufficient : AFXEndpointTypeNeedy, URL);
        if (*identifier == QLatin1String("customer")) {
            customer = endpoint;
        } else if (*identifier == QLatin1String("store")) {
            store = endpoint;
        } else if (*identifier == QLatin1String("reporting")) {
            reporting = endpoint;
        } else if (*identifier == QLatin1String("recommendations")) {
            recommendations = endpoint;
        }
    }
    // A failed setup leaves the manifest as it was.
    name_ = *name;
    customer_ = customer;
    store_ = store;
    reporting_ = reporting;
    recommendations_ = recommendations;
    return true;
}

std::shared_ptr<AFXEnvironment>
AFXEndpointsManifest::makeEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& identifier) const {
    const QString directoryName = identifier->directoryName();
    return AFXEnvironment::makeWithIdentifier(
        identifier, std::static_pointer_cast<AFXEndpointsManifest>(copy()),
        QUrl::fromLocalFile(appsDirectory()),
        QUrl::fromLocalFile(environmentDirectory(directoryName, QStringLiteral("Databases"))),
        QUrl::fromLocalFile(environmentDirectory(directoryName, QStringLiteral("Resources"))),
        QUrl::fromLocalFile(teasersDirectory()));
}
