#include "AFXAppInstance.h"

#include "AFXFileReferenceURLToFilePathURLValueTransformer.h"
#include "SpecificTools/Errors/AFXLocalizedString.h"
#include "platform/Bundle.h"
#include "platform/Paths.h"
#include "platform/StringFormat.h"
#include "platform/ValueClasses.h"
#include "platform/ValueConversion.h"

#include <QFile>

#include <algorithm>

#include <sys/stat.h>

namespace {

bool isInTrash(const QString& path) {
    if (path.contains(QLatin1String("/.Trash/")) || path.contains(QLatin1String("/.local/share/Trash/"))) {
        return true;
    }
    const auto components = QStringView(path).split(QLatin1Char('/'));
    return std::any_of(components.begin(), components.end(),
                       [](QStringView component) { return component.startsWith(QLatin1String(".Trash-")); });
}

bool isInBackup(const QString& path) {
    const auto components = QStringView(path).split(QLatin1Char('/'));
    return std::any_of(components.begin(), components.end(), [](QStringView component) {
        return component == QLatin1String("Backups.backupdb") || component.endsWith(QLatin1String(".backup"));
    });
}

// Upper-case first letter of every word, the rest lower-case.
QString capitalized(const QString& text) {
    QString result = text.toLower();
    bool wordStart = true;
    for (QChar& c : result) {
        if (c.isSpace()) {
            wordStart = true;
        } else if (wordStart) {
            c = c.toUpper();
            wordStart = false;
        }
    }
    return result;
}

} // namespace

PLATFORM_DEFINE_CLASS_WITH_SETUP(AFXAppInstance, AFXBaseMutableModelObject, nullptr, [](platform::Class& c) {
    platform::addProperty(c, QStringLiteral("appID"), &AFXAppInstance::appID, &AFXAppInstance::setAppID);
    platform::addProperty(c, QStringLiteral("URL"), &AFXAppInstance::URL, &AFXAppInstance::setURL);
})

std::shared_ptr<BRClassReflection> AFXAppInstance::makeReflection() {
    auto reflection = BRReflection<AFXBaseMutableModelObject>()->copy();
    reflection->addPropertyForSelector(QStringLiteral("appID"), platform::ValueClasses::number());
    reflection->addPropertyForSelector(QStringLiteral("URL"), {platform::ValueClasses::url()}, {},
                                       std::make_shared<AFXFileReferenceURLToFilePathURLValueTransformer>());
    return reflection;
}

bool AFXAppInstance::initWithAppID(std::int64_t appID, const QUrl& url) {
    auto reference = platform::FileReferenceURL::makeWithFilePathURL(url);
    if (!reference) {
        return false;
    }
    appID_ = appID;
    URL_ = std::move(reference);
    return true;
}

QString AFXAppInstance::filePath() const {
    return URL_ ? URL_->path() : QString();
}

bool AFXAppInstance::exists() const {
    const QString path = filePath();
    return !path.isEmpty() && !isInTrash(path) && !isInBackup(path);
}

bool AFXAppInstance::existsOnRootVolume() const {
    if (!exists()) {
        return false;
    }
    const QString root = platform::Paths::root();
    struct stat rootVolume {};
    if (::stat(root.isEmpty() ? "/" : QFile::encodeName(root).constData(), &rootVolume) != 0) {
        return false;
    }
    return URL_->reference().identity().device == static_cast<std::uint64_t>(rootVolume.st_dev);
}

std::optional<platform::RunningApplication> AFXAppInstance::runningApplication() const {
    if (!URL_ || !URL_->reference().resolves()) {
        return std::nullopt;
    }
    const auto identity = URL_->reference().identity();
    for (const auto& application : platform::RunningApplication::runningApplications()) {
        if (application.bundleIdentity() == identity) {
            return application;
        }
    }
    return std::nullopt;
}

QString AFXAppInstance::appCategory() const {
    std::call_once(appCategoryOnce_, [this] {
        const auto bundle = URL_ ? platform::Bundle::bundleWithURL(URL_->filePathURL()) : nullptr;
        QString category =
            bundle
                ? bundle->objectForInfoDictionaryKey(QStringLiteral("LSApplicationCategoryType")).toString()
                : QString();
        if (category.isEmpty()) {
            category = QStringLiteral("Other");
        }
        const QString prefix = QStringLiteral("public.app-category.");
        if (category.contains(prefix)) {
            category.remove(prefix);
            category.replace(QLatin1Char('-'), QLatin1Char(' '));
        }
        appCategory_ = capitalized(category);
    });
    return appCategory_;
}

QString AFXAppInstance::localizedAppCategory() const {
    return AFXKestrelInterfaceLocalizedString(appCategory());
}

bool AFXAppInstance::isEqual(const platform::Object& other) const {
    const auto* instance = dynamic_cast<const AFXAppInstance*>(&other);
    return instance && instance->appID_ == appID_ && instance->kind() == kind() &&
           platform::Value(instance->URL_) == platform::Value(URL_);
}

std::uint64_t AFXAppInstance::hash() const {
    return platform::Value(appID_).hash() ^ platform::Value(URL_).hash();
}

QString AFXAppInstance::description() const {
    return platform::stringWithFormat(QStringLiteral("%@ appID = %@ at %@"), platform::Object::description(),
                                      appID_, filePath());
}
