#include "UserDefaults.h"

#include "Bundle.h"
#include "FileReplacement.h"
#include "Paths.h"
#include "PropertyList.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::mutex& instancesMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

// One shared instance per domain and root, kept for the life of the process.
QHash<QString, std::shared_ptr<UserDefaults>>& instances() {
    static auto* table = new QHash<QString, std::shared_ptr<UserDefaults>>;
    return *table;
}

// Preferences may hold what other users should not read.
constexpr mode_t kFileMode = 0600;

class FileLock {
public:
    explicit FileLock(const QString& path) {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, kFileMode);
        if (fd_ < 0) {
            return;
        }
        // A lock file left by an older writer may have a wider mode.
        ::fchmod(fd_, kFileMode);
        int locked;
        do {
            locked = ::flock(fd_, LOCK_EX);
        } while (locked < 0 && errno == EINTR);
        // Writing without the lock could lose another process's keys.
        if (locked < 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~FileLock() {
        if (fd_ >= 0) {
            ::flock(fd_, LOCK_UN);
            ::close(fd_);
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool locked() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

} // namespace

UserDefaults::UserDefaults(QString domain) : domain_(std::move(domain)) {}

std::shared_ptr<UserDefaults> UserDefaults::standard() {
    QString domain = Bundle::mainBundle()->bundleIdentifier();
    if (domain.isEmpty()) {
        domain = QCoreApplication::applicationName();
    }
    if (!isValidSuiteName(domain)) {
        domain = QStringLiteral("kestrel");
    }
    return makeWithSuiteName(domain);
}

bool UserDefaults::isValidSuiteName(const QString& suiteName) {
    return !suiteName.isEmpty() && !suiteName.contains(QLatin1Char('/')) &&
           !suiteName.contains(QLatin1String("..")) && !suiteName.contains(QChar(u'\0'));
}

std::shared_ptr<UserDefaults> UserDefaults::makeWithSuiteName(const QString& suiteName) {
    if (!isValidSuiteName(suiteName)) {
        return nullptr;
    }
    const QString key = Paths::root() + QLatin1Char('\n') + suiteName;
    std::lock_guard lock(instancesMutex());
    auto& instance = instances()[key];
    if (!instance) {
        instance.reset(new UserDefaults(suiteName));
    }
    return instance;
}

QString UserDefaults::filePathForDomain(const QString& domain) {
    return Paths::resolve(QStringLiteral("~/Library/Preferences/%1.plist").arg(domain));
}

void UserDefaults::reloadIfChangedLocked() {
    const QByteArray path = QFile::encodeName(filePathForDomain(domain_));
    struct stat info {};
    Stamp now;
    if (::stat(path.constData(), &info) == 0) {
        now = {info.st_ino, info.st_size,
               static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec};
    }
    if (now == stamp_) {
        return;
    }
    stamp_ = now;
    stored_.clear();
    QFile file(QString::fromLocal8Bit(path));
    if (now.size < 0 || !file.open(QIODevice::ReadOnly)) {
        return;
    }
    // A damaged file reads as empty preferences rather than failing every read.
    if (const auto value = PropertyList::read(file.readAll());
        value && value->kind() == Value::Kind::Dictionary) {
        stored_ = value->toDictionary();
    }
}

bool UserDefaults::writeLocked(const QString& key, const Value& value) {
    const QString path = filePathForDomain(domain_);
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return false;
    }
    FileLock fileLock(path + QStringLiteral(".lock"));
    if (!fileLock.locked()) {
        return false;
    }
    // Forgetting the cache entirely (an empty stamp stands for "no file"):
    // the file may be gone, and a failed write must not leave its value behind.
    auto forgetCache = [this] {
        stamp_ = {};
        stored_.clear();
    };
    forgetCache();
    reloadIfChangedLocked();
    if (value.isNull()) {
        stored_.remove(key);
    } else {
        stored_.insert(key, value);
    }
    const auto data = PropertyList::write(Value(stored_), PropertyList::Format::Binary);
    if (!data) {
        forgetCache();
        return false;
    }
    // Mode 0600 from the moment the new file exists, whatever the umask.
    if (!FileReplacement::replace(QFile::encodeName(path).toStdString(),
                                  std::string_view(data->constData(), data->size()), kFileMode,
                                  FileReplacement::Durability::Synced)) {
        forgetCache();
        return false;
    }
    forgetCache();
    reloadIfChangedLocked();
    return true;
}

Value UserDefaults::objectForKey(const QString& key) {
    std::lock_guard lock(mutex_);
    reloadIfChangedLocked();
    if (auto it = stored_.constFind(key); it != stored_.cend()) {
        return *it;
    }
    return registered_.value(key);
}

QString UserDefaults::stringForKey(const QString& key) {
    const Value value = objectForKey(key);
    return value.isNumber() ? value.description() : value.toString();
}

std::int64_t UserDefaults::integerForKey(const QString& key) {
    return objectForKey(key).toInteger();
}

bool UserDefaults::boolForKey(const QString& key) {
    return objectForKey(key).toBool();
}

double UserDefaults::doubleForKey(const QString& key) {
    return objectForKey(key).toDouble();
}

Value::Dictionary UserDefaults::dictionaryForKey(const QString& key) {
    return objectForKey(key).toDictionary();
}

Value::Array UserDefaults::arrayForKey(const QString& key) {
    const Value value = objectForKey(key);
    return value.kind() == Value::Kind::Array ? value.toArray() : Value::Array();
}

bool UserDefaults::setObject(const Value& value, const QString& key) {
    std::lock_guard lock(mutex_);
    return writeLocked(key, value);
}

bool UserDefaults::removeObjectForKey(const QString& key) {
    return setObject(Value(), key);
}

void UserDefaults::registerDefaults(const Value::Dictionary& defaults) {
    std::lock_guard lock(mutex_);
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it) {
        registered_.insert(it.key(), it.value());
    }
}

bool UserDefaults::synchronize() {
    std::lock_guard lock(mutex_);
    reloadIfChangedLocked();
    return true;
}

Value::Dictionary UserDefaults::dictionaryRepresentation() {
    std::lock_guard lock(mutex_);
    reloadIfChangedLocked();
    Value::Dictionary all = registered_;
    for (auto it = stored_.cbegin(); it != stored_.cend(); ++it) {
        all.insert(it.key(), it.value());
    }
    return all;
}

} // namespace platform
