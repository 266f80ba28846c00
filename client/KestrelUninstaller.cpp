#include "KestrelUninstaller.h"

#include "KestrelClientBundle.h"
#include "KestrelCustomerKeeper.h"
#include "SpecificTools/AFXAgent/AFXAgent.h"
#include "platform/Bundle.h"
#include "platform/FileManager.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QStringList KestrelUninstaller::machServicesOf(const QString& plistPath) {
    QFile file(plistPath);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const auto plist = platform::PropertyList::read(file.readAll());
    if (!plist || plist->kind() != platform::Value::Kind::Dictionary) {
        return {};
    }
    return (*plist)[QStringLiteral("MachServices")].toDictionary().keys();
}

bool KestrelUninstaller::removeEmptyFolders(const QString& path) {
    const QFileInfo info(path);
    if (!info.isDir() || info.isSymLink()) {
        return false;
    }
    bool empty = true;
    const QDir folder(path);
    for (const QFileInfo& entry :
         folder.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        empty = removeEmptyFolders(entry.filePath()) && empty;
    }
    return empty && QDir().rmdir(path);
}

int KestrelUninstaller::run(std::FILE* output, std::FILE* errors) {
    const auto client = KestrelClientBundle::runningClient();
    if (!client) {
        std::fprintf(errors, "Kestrel: --uninstall must run from the desktop client's bundle\n");
        return 1;
    }
    const auto agent = KestrelClientBundle::agentOf(*client);
    const QString installedPlist = agent->plistDestinationURL().value_or(QUrl()).toLocalFile();
    const std::optional<QUrl> sourcePlist = agent->plistSourceURL();
    QStringList serviceNames = machServicesOf(installedPlist);
    if (serviceNames.isEmpty() && sourcePlist) {
        serviceNames = machServicesOf(sourcePlist->toLocalFile());
    }
    if (agent->isLoaded()) {
        // launchctl unloads an agent by its property list: one that went
        // missing is written again from the client's own first.
        if (!QFile::exists(installedPlist)) {
            agent->repairConfigWithError();
        }
        // Ends the agent, and forgets its names on the bus.
        AFXAgent::unloadAgents({agent});
    }
    if (agent->isLoaded()) {
        // Removing its files would leave an agent that is still started on
        // demand, from a program that is gone: nothing is removed, and the
        // run can be repeated.
        std::fprintf(errors,
                     "Kestrel: the uninstaller could not unload the launch agent %s; nothing was removed\n",
                     qUtf8Printable(AFXAgent::LoadedLabel));
        return 1;
    }

    const QString agentCopy = agent->bundleDestinationURL().toLocalFile();
    const QString preferences =
        platform::UserDefaults::filePathForDomain(KestrelCustomerKeeper::PreferencesDomain);
    QStringList removals{agentCopy, installedPlist, preferences, preferences + QStringLiteral(".lock")};
    for (const QString& serviceName : serviceNames) {
        // The names come from a file the user can change.
        if (const auto serviceFile = platform::Paths::busServiceFilePath(serviceName)) {
            removals << *serviceFile;
        }
    }
    // What the client kept and downloaded for each environment.
    const QString support = platform::Paths::resolve(QStringLiteral("~/Library/Application Support/Kestrel"));
    // Folders of the client's own only: a link leads to somebody else's.
    for (const QFileInfo& environment :
         QDir(support).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks)) {
        removals << environment.filePath() + QStringLiteral("/Databases")
                 << environment.filePath() + QStringLiteral("/Resources");
    }
    QStringList left;
    const auto remove = [&left](const QString& path) {
        platform::Error error(QString(), 0);
        const QFileInfo info(path);
        if (!path.isEmpty() && (info.exists() || info.isSymLink()) &&
            !platform::FileManager::removeItem(path, &error)) {
            left << QStringLiteral("%1 (%2)").arg(path, error.localizedDescription());
        }
    };
    for (const QString& path : removals) {
        remove(path);
    }
    // The client itself last, and only once everything else went: until
    // then a failed run can be run again.
    if (left.isEmpty()) {
        remove(client->bundlePath());
    }
    // The client's folders that are left empty (the agent copy's, its
    // environment's); anything still holding a file stays.
    for (const QString& folder :
         {QStringLiteral("~/Library/Application Support/Kestrel"), QStringLiteral("/Users/Shared/Kestrel")}) {
        removeEmptyFolders(platform::Paths::resolve(folder));
    }
    if (!left.isEmpty()) {
        std::fprintf(errors, "Kestrel: the uninstaller could not remove:\n  %s\n",
                     qUtf8Printable(left.join(QStringLiteral("\n  "))));
        return 1;
    }
    std::fprintf(output, "Kestrel: the desktop client has been removed\n");
    return 0;
}
