#include "CodeResources.h"

#include "OpenSSLPointers.h"
#include "PropertyList.h"

#include <QDir>
#include <QFile>
#include <QUrl>

#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

namespace fs = std::filesystem;

const QString kSignatureFolderName = QStringLiteral("_CodeSignature");

bool isNestedBundleName(const QString& name) {
    static const QStringList suffixes{QStringLiteral(".app"),    QStringLiteral(".framework"),
                                      QStringLiteral(".appex"),  QStringLiteral(".xpc"),
                                      QStringLiteral(".bundle"), QStringLiteral(".plugin")};
    for (const QString& suffix : suffixes) {
        if (name.size() > suffix.size() && name.endsWith(suffix, Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

Error itemError(OSStatus status, const QString& path) {
    return Error(NSOSStatusErrorDomain, status, {{kSecCFErrorPath, QUrl::fromLocalFile(path)}});
}

// SHA-256 of a file's bytes, read in large pieces; nothing when it cannot be read.
std::optional<QByteArray> digestOfFile(const QString& path) {
    // Without waiting: a pipe put where a file was sealed must not stall the check.
    const int descriptor =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (descriptor < 0) {
        return std::nullopt;
    }
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        return std::nullopt;
    }
    ::posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);
    openssl::DigestContextPointer context(EVP_MD_CTX_new());
    EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
    static thread_local std::vector<unsigned char> buffer(1 << 20);
    bool readAll = true;
    for (;;) {
        const ssize_t count = ::read(descriptor, buffer.data(), buffer.size());
        if (count == 0) {
            break;
        }
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            readAll = false;
            break;
        }
        EVP_DigestUpdate(context.get(), buffer.data(), static_cast<std::size_t>(count));
    }
    ::close(descriptor);
    if (!readAll) {
        return std::nullopt;
    }
    QByteArray digest(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int length = 0;
    EVP_DigestFinal_ex(context.get(), reinterpret_cast<unsigned char*>(digest.data()), &length);
    digest.resize(static_cast<qsizetype>(length));
    return digest;
}

// Whether a link's target, read as the link's folder would resolve it,
// stays inside the bundle. Only the text counts: the target need not exist.
bool linkStaysInside(const QString& relativeLinkPath, const QString& target) {
    if (target.startsWith(QLatin1Char('/'))) {
        return false;
    }
    const QString folder = QFileInfo(relativeLinkPath).path();
    const QString resolved = QDir::cleanPath(folder + QLatin1Char('/') + target);
    return resolved != QLatin1String("..") && !resolved.startsWith(QLatin1String("../"));
}

class Collector {
public:
    Collector(const QString& bundlePath, CodeResources* resources)
        : root_(bundlePath), resources_(resources) {
        std::error_code code;
        realRoot_ = fs::weakly_canonical(fs::path(QFile::encodeName(bundlePath).toStdString()), code);
    }

    OSStatus walk(const QString& relativeFolder, std::optional<Error>* errors) {
        const QString folder = relativeFolder.isEmpty() ? root_ : root_ + QLatin1Char('/') + relativeFolder;
        std::error_code code;
        fs::directory_iterator entries(fs::path(QFile::encodeName(folder).toStdString()), code);
        if (code) {
            return fail(errSecCSBadResource, folder, errors);
        }
        for (const fs::directory_entry& entry : entries) {
            const QString name = QFile::decodeName(entry.path().filename().c_str());
            const QString relative =
                relativeFolder.isEmpty() ? name : relativeFolder + QLatin1Char('/') + name;
            const QString path = root_ + QLatin1Char('/') + relative;
            const fs::file_status status = entry.symlink_status(code);
            if (code) {
                return fail(errSecCSBadResource, path, errors);
            }
            if (fs::is_symlink(status)) {
                const QString target = QFile::decodeName(fs::read_symlink(entry.path(), code).c_str());
                if (code) {
                    return fail(errSecCSBadResource, path, errors);
                }
                if (!linkStaysInside(relative, target) || !resolvesInside(entry.path())) {
                    return fail(errSecCSInvalidSymlink, path, errors);
                }
                resources_->symlinks.insert(relative, target);
            } else if (fs::is_directory(status)) {
                if (relative == signatureFolderRelative()) {
                    continue;
                }
                if (isNestedBundleName(name)) {
                    resources_->nested.insert(relative, nestedSignatureDigest(path));
                    continue;
                }
                if (const OSStatus result = walk(relative, errors); result != errSecSuccess) {
                    return result;
                }
            } else if (!fs::is_regular_file(status)) {
                // Pipes, sockets and devices have no contents to seal.
                return fail(errSecCSBadResource, path, errors);
            } else {
                std::optional<QByteArray> digest = digestOfFile(path);
                if (!digest) {
                    return fail(errSecCSBadResource, path, errors);
                }
                resources_->files.insert(relative, *digest);
            }
        }
        return errSecSuccess;
    }

private:
    // The text of a link may stay inside while the links it passes through
    // lead out ("a -> ../.." beside "b -> a/.."): where it really ends is
    // what counts.
    bool resolvesInside(const fs::path& link) const {
        std::error_code code;
        const fs::path real = fs::weakly_canonical(link, code);
        if (code || realRoot_.empty()) {
            return false;
        }
        const fs::path relative = real.lexically_relative(realRoot_);
        return !relative.empty() && *relative.begin() != "..";
    }

    QString signatureFolderRelative() const {
        return QDir(root_).relativeFilePath(CodeResources::signatureFolder(root_));
    }

    // An unsigned nested bundle seals as an empty digest, which never
    // matches a signed one.
    static QByteArray nestedSignatureDigest(const QString& nestedPath) {
        return digestOfFile(CodeResources::signaturePath(nestedPath)).value_or(QByteArray());
    }

    static OSStatus fail(OSStatus status, const QString& path, std::optional<Error>* errors) {
        if (errors) {
            *errors = itemError(status, path);
        }
        return status;
    }

    QString root_;
    fs::path realRoot_;
    CodeResources* resources_;
};

void collectNested(const QString& folder, QStringList* found) {
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo& entry : entries) {
        collectNested(entry.filePath(), found);
        if (isNestedBundleName(entry.fileName())) {
            found->append(entry.filePath());
        }
    }
}

Value::Dictionary dataMap(const QMap<QString, QByteArray>& map) {
    Value::Dictionary dictionary;
    for (auto it = map.begin(); it != map.end(); ++it) {
        dictionary.insert(it.key(), it.value());
    }
    return dictionary;
}

} // namespace

QString CodeResources::signatureFolder(const QString& bundlePath) {
    const QString contents = bundlePath + QStringLiteral("/Contents");
    const QFileInfo info(contents);
    return (info.isDir() && !info.isSymLink() ? contents : bundlePath) + QLatin1Char('/') +
           kSignatureFolderName;
}

QString CodeResources::resourcesPath(const QString& bundlePath) {
    return signatureFolder(bundlePath) + QStringLiteral("/CodeResources");
}

QString CodeResources::signaturePath(const QString& bundlePath) {
    return signatureFolder(bundlePath) + QStringLiteral("/CodeSignature");
}

OSStatus CodeResources::collect(const QString& bundlePath, CodeResources* resources,
                                std::optional<Error>* errors) {
    return Collector(bundlePath, resources).walk(QString(), errors);
}

QStringList CodeResources::nestedBundles(const QString& bundlePath) {
    QStringList found;
    collectNested(bundlePath, &found);
    return found;
}

std::optional<CodeResources> CodeResources::fromPropertyList(const QByteArray& data) {
    const std::optional<Value> root = PropertyList::read(data);
    if (!root || root->kind() != Value::Kind::Dictionary ||
        (*root)[QStringLiteral("format-version")].toInteger() != formatVersion ||
        (*root)[QStringLiteral("digest-algorithm")].toString() != QLatin1String("sha256")) {
        return std::nullopt;
    }
    CodeResources resources;
    resources.identifier = (*root)[QStringLiteral("identifier")].toString();
    resources.entitlements = (*root)[QStringLiteral("entitlements")].toDictionary();
    const Value::Dictionary files = (*root)[QStringLiteral("files")].toDictionary();
    for (auto it = files.begin(); it != files.end(); ++it) {
        resources.files.insert(it.key(), it.value().toData());
    }
    const Value::Dictionary symlinks = (*root)[QStringLiteral("symlinks")].toDictionary();
    for (auto it = symlinks.begin(); it != symlinks.end(); ++it) {
        resources.symlinks.insert(it.key(), it.value().toString());
    }
    const Value::Dictionary nested = (*root)[QStringLiteral("nested")].toDictionary();
    for (auto it = nested.begin(); it != nested.end(); ++it) {
        resources.nested.insert(it.key(), it.value().toData());
    }
    return resources;
}

QByteArray CodeResources::toPropertyList() const {
    Value::Dictionary links;
    for (auto it = symlinks.begin(); it != symlinks.end(); ++it) {
        links.insert(it.key(), it.value());
    }
    const Value::Dictionary root{
        {QStringLiteral("format-version"), formatVersion},
        {QStringLiteral("identifier"), identifier},
        {QStringLiteral("digest-algorithm"), QStringLiteral("sha256")},
        {QStringLiteral("entitlements"), entitlements},
        {QStringLiteral("files"), dataMap(files)},
        {QStringLiteral("symlinks"), links},
        {QStringLiteral("nested"), dataMap(nested)},
    };
    return PropertyList::write(root, PropertyList::Format::XML).value_or(QByteArray());
}

OSStatus CodeResources::compareWith(const CodeResources& present, const QString& bundlePath,
                                    std::optional<Error>* errors) const {
    Value::Array altered;
    Value::Array alteredNested;
    Value::Array added;
    Value::Array missing;
    const auto url = [&](const QString& relative) {
        return QUrl::fromLocalFile(bundlePath + QLatin1Char('/') + relative);
    };
    const auto compare = [&](const auto& sealed, const auto& now, Value::Array* changed) {
        for (auto it = sealed.begin(); it != sealed.end(); ++it) {
            const auto found = now.find(it.key());
            if (found == now.end()) {
                missing.append(url(it.key()));
            } else if (found.value() != it.value()) {
                changed->append(url(it.key()));
            }
        }
        for (auto it = now.begin(); it != now.end(); ++it) {
            if (!sealed.contains(it.key())) {
                added.append(url(it.key()));
            }
        }
    };
    compare(files, present.files, &altered);
    compare(symlinks, present.symlinks, &altered);
    compare(nested, present.nested, &alteredNested);
    if (altered.isEmpty() && added.isEmpty() && missing.isEmpty()) {
        if (alteredNested.isEmpty()) {
            return errSecSuccess;
        }
        if (errors) {
            *errors = Error(NSOSStatusErrorDomain, errSecCSBadNestedCode,
                            {{kSecCFErrorPath, alteredNested.first()}});
        }
        return errSecCSBadNestedCode;
    }
    if (errors) {
        Value::Dictionary userInfo;
        const auto note = [&](const QString& key, const Value::Array& urls) {
            if (!urls.isEmpty()) {
                userInfo.insert(key, urls);
            }
        };
        note(kSecCFErrorResourceAltered, altered + alteredNested);
        note(kSecCFErrorResourceAdded, added);
        note(kSecCFErrorResourceMissing, missing);
        *errors = Error(NSOSStatusErrorDomain, errSecCSBadResource, userInfo);
    }
    return errSecCSBadResource;
}

} // namespace platform
