#pragma once

#include "Value.h"

#include <QString>

#include <memory>
#include <mutex>

#include <sys/types.h>

namespace platform {

// Preferences of one domain, kept as a property list in the root's
// preferences folder ("~/Library/Preferences/<domain>.plist"), shared by
// every process of the user: each read notices a file changed by another
// process, and each write re-reads the file under a file lock, changes its
// one key and replaces the file atomically, so concurrent writers do not
// lose each other's keys; a write that cannot take the lock fails. The
// files (and the lock file) are readable by their owner only. Registered defaults answer for keys the file
// lacks; they live in this process only.
class UserDefaults {
public:
    // The main bundle's domain (its identifier, or the program's name).
    static std::shared_ptr<UserDefaults> standard();
    // The shared instance of a domain (a suite of another program, such as
    // "com.kestrel.DesktopClient"); null for a name that is not a valid one.
    static std::shared_ptr<UserDefaults> makeWithSuiteName(const QString& suiteName);
    // A domain names one file inside the preferences folder: not empty, and
    // no "/" or ".." that could lead elsewhere.
    static bool isValidSuiteName(const QString& suiteName);
    static QString filePathForDomain(const QString& domain);

    const QString& domain() const { return domain_; }

    Value objectForKey(const QString& key);
    QString stringForKey(const QString& key);
    std::int64_t integerForKey(const QString& key);
    bool boolForKey(const QString& key);
    double doubleForKey(const QString& key);
    Value::Dictionary dictionaryForKey(const QString& key);
    Value::Array arrayForKey(const QString& key);

    // Setting null removes the key. Answers false when the file could not be written.
    bool setObject(const Value& value, const QString& key);
    bool removeObjectForKey(const QString& key);
    void registerDefaults(const Value::Dictionary& defaults);
    // Re-reads the file; writes are already on disk when `setObject` returns.
    bool synchronize();
    // Registered defaults overlaid with the stored values.
    Value::Dictionary dictionaryRepresentation();

private:
    explicit UserDefaults(QString domain);
    void reloadIfChangedLocked();
    bool writeLocked(const QString& key, const Value& value);

    const QString domain_;
    // Read from any thread; the cache is a few fields, refreshed from disk
    // under this mutex, and writes also hold a file lock for other processes.
    std::mutex mutex_;
    Value::Dictionary registered_;
    Value::Dictionary stored_;
    struct Stamp {
        ino_t inode = 0;
        off_t size = -1;
        long long mtimeNanoseconds = -1;
        bool operator==(const Stamp&) const = default;
    } stamp_;
};

} // namespace platform
