#include "Bundle.h"

#include "PropertyList.h"
#include "StringsTable.h"
#include "SystemRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace platform {

namespace {

QString existingFolder(const QString& path, std::initializer_list<const char*> candidates) {
    for (const char* candidate : candidates) {
        const QString folder = path + QLatin1Char('/') + QLatin1String(candidate);
        if (QFileInfo(folder).isDir()) {
            return folder;
        }
    }
    return path + QLatin1Char('/') + QLatin1String(*candidates.begin());
}

// The ".app" folder around ".../Name.app/Contents/MacOS/", or an empty string.
QString applicationAround(QDir dir) {
    if (dir.dirName() == QLatin1String("MacOS") && dir.cdUp() && dir.dirName() == QLatin1String("Contents") &&
        dir.cdUp() && dir.dirName().endsWith(QLatin1String(".app"))) {
        return dir.absolutePath();
    }
    return {};
}

QString locateMainBundle() {
    const QString executable = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QString application = applicationAround(QFileInfo(executable).dir());
    return application.isEmpty() ? QStringLiteral(":") : application;
}

} // namespace

Bundle::Bundle(QString path) : path_(std::move(path)) {
    for (const char* candidate : {"/Contents/Info.plist", "/Resources/Info.plist", "/Info.plist"}) {
        QFile file(path_ + QLatin1String(candidate));
        if (file.open(QIODevice::ReadOnly)) {
            if (const auto value = PropertyList::read(file.readAll());
                value && value->kind() == Value::Kind::Dictionary) {
                info_ = value->toDictionary();
            }
            break;
        }
    }
}

std::shared_ptr<Bundle> Bundle::mainBundle() {
    static const auto* bundle = new std::shared_ptr<Bundle>(new Bundle(locateMainBundle()));
    return *bundle;
}

std::shared_ptr<Bundle> Bundle::bundleWithPath(const QString& path) {
    if (!QFileInfo(path).isDir()) {
        return nullptr;
    }
    QString clean = path.startsWith(QLatin1Char(':')) ? path : QFileInfo(path).absoluteFilePath();
    while (clean.size() > 1 && clean.endsWith(QLatin1Char('/'))) {
        clean.chop(1);
    }
    return std::shared_ptr<Bundle>(new Bundle(clean));
}

std::shared_ptr<Bundle> Bundle::bundleWithURL(const QUrl& url) {
    return url.isLocalFile() ? bundleWithPath(url.toLocalFile()) : nullptr;
}

QStringList Bundle::preferredLocalizations() {
    // Each language also stands for its bare form ("de-DE", then "de"), and English is the last resort.
    QStringList languages;
    for (const QString& tag : SystemRegistry::preferredLanguages()) {
        for (const QString& form : {tag, tag.section(QLatin1Char('-'), 0, 0)}) {
            if (!languages.contains(form)) {
                languages << form;
            }
        }
    }
    if (!languages.contains(QStringLiteral("en"))) {
        languages << QStringLiteral("en");
    }
    return languages;
}

QUrl Bundle::bundleURL() const {
    return path_.startsWith(QLatin1Char(':')) ? QUrl(QStringLiteral("qrc") + path_)
                                              : QUrl::fromLocalFile(path_);
}

QString Bundle::resourcePath() const {
    return existingFolder(path_, {"Contents/Resources", "Resources"});
}

QString Bundle::executablePath() const {
    const QString name = info_.value(QStringLiteral("CFBundleExecutable")).toString();
    if (name.isEmpty()) {
        return {};
    }
    return existingFolder(path_, {"Contents/MacOS", "MacOS"}) + QLatin1Char('/') + name;
}

const Value::Dictionary& Bundle::infoDictionary() const {
    return info_;
}

Value Bundle::objectForInfoDictionaryKey(const QString& key) const {
    return info_.value(key);
}

QString Bundle::bundleIdentifier() const {
    return info_.value(QStringLiteral("CFBundleIdentifier")).toString();
}

QStringList Bundle::resourceSearchFolders() const {
    const QString resources = resourcePath();
    QStringList folders;
    for (const QString& language : preferredLocalizations()) {
        folders << resources + QLatin1Char('/') + language + QStringLiteral(".lproj");
    }
    folders << resources + QStringLiteral("/Base.lproj") << resources;
    return folders;
}

QString Bundle::pathForResource(const QString& name, const QString& type, const QString& subdirectory) const {
    const QString file = type.isEmpty() ? name : name + QLatin1Char('.') + type;
    for (const QString& folder : resourceSearchFolders()) {
        const QString candidate = subdirectory.isEmpty()
                                      ? folder + QLatin1Char('/') + file
                                      : folder + QLatin1Char('/') + subdirectory + QLatin1Char('/') + file;
        if (QFileInfo::exists(candidate)) {
            return candidate;
        }
    }
    return {};
}

QUrl Bundle::URLForResource(const QString& name, const QString& type, const QString& subdirectory) const {
    const QString path = pathForResource(name, type, subdirectory);
    if (path.isEmpty()) {
        return {};
    }
    return path.startsWith(QLatin1Char(':')) ? QUrl(QStringLiteral("qrc") + path) : QUrl::fromLocalFile(path);
}

QHash<QString, QString> Bundle::stringTable(const QString& table) const {
    std::lock_guard lock(mutex_);
    if (auto it = tables_.constFind(table); it != tables_.cend()) {
        return *it;
    }
    // Tables of the more preferred languages win; the others fill in what they lack.
    QHash<QString, QString> merged;
    for (const QString& folder : resourceSearchFolders()) {
        QFile file(folder + QLatin1Char('/') + table + QStringLiteral(".strings"));
        if (!file.open(QIODevice::ReadOnly)) {
            continue;
        }
        if (const auto entries = StringsTable::parse(file.readAll())) {
            for (auto it = entries->cbegin(); it != entries->cend(); ++it) {
                if (!merged.contains(it.key())) {
                    merged.insert(it.key(), it.value());
                }
            }
        }
    }
    return *tables_.insert(table, merged);
}

QString Bundle::localizedStringForKey(const QString& key, const QString& value, const QString& table) const {
    const auto entries = stringTable(table.isEmpty() ? QStringLiteral("Localizable") : table);
    if (auto it = entries.constFind(key); it != entries.cend()) {
        return *it;
    }
    return value.isEmpty() ? key : value;
}

} // namespace platform
