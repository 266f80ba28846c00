#include "AFXAgent.h"

#include "SpecificTools/AFXAppInstaller/AFXRemoveFromQuarantine.h"
#include "platform/Bundle.h"
#include "platform/FileManager.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"
#include "platform/Task.h"
#include "platform/Tools.h"
#include "support/BRAssertions.h"
#include "support/BRBundleInfo.h"
#include "support/BRLog.h"
#include "support/BRVersionComparator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

const QStringList AFXAgent::ServerInstanceArguments{QStringLiteral("-xpcServer")};
const QString AFXAgent::LoadedLabel = QStringLiteral("com.kestrel.DesktopClient.KestrelAgent");
const QString AFXAgent::ProductVersion = QStringLiteral("1.9.8");

namespace {

const QString kCopyOperation = QStringLiteral("copy");
const QString kRepairConfigOperation = QStringLiteral("repairConfig");

void assign(AFXOptionalError* out, const AFXOptionalError& error) {
    if (out) {
        *out = error;
    }
}

// Runs "/bin/launchctl" and waits; the exit status, or -1 when it could not
// run. A quiet run keeps its complaints (an expected "no such service") out
// of our standard error.
int runLaunchctl(const QStringList& arguments, bool quiet = false) {
    auto task = platform::Task::make();
    task->setLaunchPath(platform::Tools::path(QStringLiteral("/bin/launchctl")));
    task->setArguments(arguments);
    task->setStandardInput(platform::Task::Stream::NullDevice);
    task->setStandardOutput(platform::Task::Stream::NullDevice);
    if (quiet) {
        task->setStandardError(platform::Task::Stream::NullDevice);
    }
    if (!task->launch()) {
        return -1;
    }
    task->waitUntilExit();
    return task->terminationReason() == platform::Task::TerminationReason::Exit ? task->terminationStatus()
                                                                                : -1;
}

} // namespace

QUrl AFXAgentGetDestinationURL(const QString& name) {
    return QUrl::fromLocalFile(platform::Paths::resolve(
        QStringLiteral("~/Library/Application Support/Kestrel/LaunchAgents/") + name));
}

AFXAgent::AFXAgent(QString name, QUrl containerBundleURL)
    : name_(std::move(name)), containerBundleURL_(std::move(containerBundleURL)) {}

std::shared_ptr<AFXAgent> AFXAgent::make(const QString& name, const QUrl& containerBundleURL) {
    BRParameterAssert(!name.isEmpty());
    return std::shared_ptr<AFXAgent>(new AFXAgent(name, containerBundleURL));
}

std::shared_ptr<AFXAgent> AFXAgent::copy() const {
    return make(name_, containerBundleURL_);
}

std::shared_ptr<platform::Bundle> AFXAgent::containerBundle() const {
    return containerBundleURL_.isEmpty() ? platform::Bundle::mainBundle()
                                         : platform::Bundle::bundleWithURL(containerBundleURL_);
}

QUrl AFXAgent::bundleSourceURL() const {
    const auto container = containerBundle();
    const QString containerPath = container ? container->bundlePath() : containerBundleURL_.toLocalFile();
    return QUrl::fromLocalFile(containerPath + QStringLiteral("/Contents/Library/LaunchServices/") + name_);
}

std::shared_ptr<platform::Bundle> AFXAgent::sourceBundle() const {
    // Looked up once: a host without the agent stays without it.
    std::call_once(sourceBundleOnce_,
                   [this] { sourceBundle_ = platform::Bundle::bundleWithURL(bundleSourceURL()); });
    return sourceBundle_;
}

std::optional<QString> AFXAgent::bundleID() const {
    const auto source = sourceBundle();
    if (!source || source->bundleIdentifier().isEmpty()) {
        return std::nullopt;
    }
    return source->bundleIdentifier();
}

std::optional<QUrl> AFXAgent::plistSourceURL() const {
    const auto source = sourceBundle();
    const auto identifier = bundleID();
    if (!source || !identifier) {
        return std::nullopt;
    }
    const QUrl url = source->URLForResource(*identifier, QStringLiteral("plist"));
    return url.isEmpty() ? std::nullopt : std::optional<QUrl>(url);
}

QUrl AFXAgent::bundleDestinationURL() const {
    return AFXAgentGetDestinationURL(name_);
}

std::optional<QUrl> AFXAgent::plistDestinationURL() const {
    QString fileName;
    if (const auto source = plistSourceURL()) {
        fileName = QFileInfo(source->toLocalFile()).fileName();
    } else if (const auto identifier = bundleID()) {
        fileName = *identifier + QStringLiteral(".plist");
    } else {
        return std::nullopt;
    }
    return QUrl::fromLocalFile(
        platform::Paths::resolve(QStringLiteral("~/Library/LaunchAgents/") + fileName));
}

std::shared_ptr<platform::Bundle> AFXAgent::bundleAtDestination() const {
    return platform::Bundle::bundleWithURL(bundleDestinationURL());
}

std::optional<QUrl> AFXAgent::agentExecutableURL() const {
    const auto source = sourceBundle();
    if (!source || source->executablePath().isEmpty()) {
        return std::nullopt;
    }
    const QString inside = QDir(source->bundlePath()).relativeFilePath(source->executablePath());
    return QUrl::fromLocalFile(
        QDir::cleanPath(bundleDestinationURL().toLocalFile() + QLatin1Char('/') + inside));
}

std::optional<QString> AFXAgent::agentExecutablePath() const {
    const auto url = agentExecutableURL();
    return url ? std::optional<QString>(url->toLocalFile()) : std::nullopt;
}

bool AFXAgent::installWithError(AFXOptionalError* error) {
    AFXOptionalError stepError;
    const bool installed = copyWithError(&stepError) && repairConfigWithError(&stepError) &&
                           removeFromQuarantine(&stepError) && !stepError;
    assign(error, stepError);
    return installed;
}

bool AFXAgent::copyWithError(AFXOptionalError* error) {
    AFXOptionalError failure;
    if (!oldName_.isEmpty()) {
        const QString oldDestination = AFXAgentGetDestinationURL(oldName_).toLocalFile();
        platform::Error removeError(QString(), 0);
        if (platform::FileManager::fileExists(oldDestination) &&
            !platform::FileManager::removeItem(oldDestination, &removeError)) {
            failure = removeError;
        }
    }
    const QString destination = bundleDestinationURL().toLocalFile();
    platform::Error stepError(QString(), 0);
    bool prepared = true;
    if (platform::FileManager::fileExists(destination)) {
        prepared = platform::FileManager::removeItem(destination, &stepError);
    } else {
        prepared =
            platform::FileManager::createDirectory(QFileInfo(destination).absolutePath(), true, &stepError);
    }
    if (!prepared ||
        !platform::FileManager::copyItem(bundleSourceURL().toLocalFile(), destination, &stepError)) {
        failure = stepError;
    }
    if (failure) {
        assign(error, afx_makeFailedInstallOfAgentNamed(name_, kCopyOperation, failure));
        return false;
    }
    assign(error, std::nullopt);
    return true;
}

bool AFXAgent::repairConfigWithError(AFXOptionalError* error) {
    const auto executablePath = agentExecutablePath();
    BRParameterAssertText(executablePath.has_value(), "self.agentExecutablePath");
    const auto fail = [&](const platform::Error& cause) {
        assign(error, afx_makeFailedInstallOfAgentNamed(name_, kRepairConfigOperation, cause));
        return false;
    };

    const auto source = plistSourceURL();
    const auto destination = plistDestinationURL();
    if (!source || !destination) {
        return fail(platform::Error(platform::NSCocoaErrorDomain, 260 /* file not found */));
    }
    QFile sourceFile(source->toLocalFile());
    if (!sourceFile.open(QIODevice::ReadOnly)) {
        return fail(platform::Error(platform::NSCocoaErrorDomain, 260));
    }
    platform::Error readError(QString(), 0);
    const auto plist = platform::PropertyList::read(sourceFile.readAll(), &readError);
    if (!plist) {
        return fail(readError);
    }
    if (plist->kind() != platform::Value::Kind::Dictionary) {
        return fail(platform::Error(platform::NSCocoaErrorDomain, 3840 /* not a property list dictionary */));
    }
    platform::Value::Dictionary dictionary = plist->toDictionary();
    dictionary.insert(QStringLiteral("ProgramArguments"),
                      platform::Value(QStringList{*executablePath} + ServerInstanceArguments));

    platform::Error writeError(QString(), 0);
    const auto data = platform::PropertyList::write(platform::Value(dictionary),
                                                    platform::PropertyList::Format::XML, &writeError);
    if (!data) {
        return fail(writeError);
    }
    const QString destinationPath = destination->toLocalFile();
    if (!platform::FileManager::createDirectory(QFileInfo(destinationPath).absolutePath(), true,
                                                &writeError)) {
        return fail(writeError);
    }
    if (!platform::FileManager::writeDataAtomically(destinationPath, *data, &writeError)) {
        return fail(writeError);
    }
    assign(error, std::nullopt);
    return true;
}

bool AFXAgent::removeFromQuarantine(AFXOptionalError* error) {
    return AFXRemoveFromQuarantine(bundleDestinationURL().toLocalFile(), error);
}

bool AFXAgent::isLoaded() const {
    return runLaunchctl({QStringLiteral("list"), LoadedLabel}, true) == 0;
}

bool AFXAgent::wantsUpdate() const {
    const auto info = BRInfoDictionaryForBundleAtURL(bundleDestinationURL());
    if (!info || !isLoaded()) {
        return true;
    }
    const auto version = BRVersionStringFromInfoDictionary(*info);
    return !version || compareVersion(*version, ProductVersion) < 0;
}

void AFXAgent::loadAgents(const QList<std::shared_ptr<AFXAgent>>& agents) {
    launchctlPerformOperationWithArguments({QStringLiteral("load"), QStringLiteral("-wF")}, agents);
}

void AFXAgent::unloadAgents(const QList<std::shared_ptr<AFXAgent>>& agents) {
    launchctlPerformOperationWithArguments({QStringLiteral("unload"), QStringLiteral("-wF")}, agents);
}

void AFXAgent::launchctlPerformOperationWithArguments(const QStringList& arguments,
                                                      const QList<std::shared_ptr<AFXAgent>>& agents) {
    QStringList allArguments = arguments;
    for (const auto& agent : agents) {
        if (const auto plist = agent->plistDestinationURL()) {
            allArguments << plist->toLocalFile();
        }
    }
    if (runLaunchctl(allArguments) != 0) {
        BRLogError("Did fail to perform task %@", allArguments);
    }
}
