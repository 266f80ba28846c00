#pragma once

#include "Value.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <mutex>
#include <optional>

namespace platform {

// A bundle directory in the macOS layout: "Contents/Info.plist",
// "Contents/MacOS/<executable>", "Contents/Resources" (a framework keeps
// "Resources" at its top). The main bundle is the ".app" the running program
// sits in, or else the program's embedded Qt resources (":/Contents/…").
class Bundle {
public:
    static std::shared_ptr<Bundle> mainBundle();
    // A bundle for a directory, or null when there is no directory there.
    static std::shared_ptr<Bundle> bundleWithPath(const QString& path);
    static std::shared_ptr<Bundle> bundleWithURL(const QUrl& url);
    // The languages to look resources up in, most preferred first, from the
    // locale environment (LANGUAGE, LC_ALL, LC_MESSAGES, LANG), ending with "en".
    static QStringList preferredLocalizations();

    const QString& bundlePath() const { return path_; }
    QUrl bundleURL() const;
    QString resourcePath() const;
    // The executable named by CFBundleExecutable, or an empty string.
    QString executablePath() const;
    const Value::Dictionary& infoDictionary() const;
    Value objectForInfoDictionaryKey(const QString& key) const;
    QString bundleIdentifier() const;

    // The path of "name.type" in the resources (in a subdirectory when given),
    // looking in the preferred ".lproj" folders first; empty when absent.
    QString pathForResource(const QString& name, const QString& type, const QString& subdirectory = {}) const;
    QUrl URLForResource(const QString& name, const QString& type, const QString& subdirectory = {}) const;

    // The entry for `key` in the string table `table` ("Localizable" when
    // empty). A missing entry answers `value`, or the key when `value` is empty.
    QString localizedStringForKey(const QString& key, const QString& value = {},
                                  const QString& table = {}) const;

private:
    explicit Bundle(QString path);
    QStringList resourceSearchFolders() const;
    QHash<QString, QString> stringTable(const QString& table) const;

    const QString path_;
    Value::Dictionary info_;
    // String tables are read on first use from any thread.
    mutable std::mutex mutex_;
    mutable QHash<QString, QHash<QString, QString>> tables_;
};

} // namespace platform
