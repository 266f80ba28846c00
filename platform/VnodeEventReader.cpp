#include "VnodeEventReader.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// One mask for every watch: a folder may be watched as an item and as the
// parent of another item at once, and adding a watch replaces its mask.
constexpr std::uint32_t kWatchMask = IN_MODIFY | IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                                     IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_DONT_FOLLOW;
constexpr std::uint32_t kEntryChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

QByteArray readAll(int descriptor) {
    QByteArray bytes;
    char buffer[8192];
    ::lseek(descriptor, 0, SEEK_SET);
    for (;;) {
        const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
        if (count <= 0) {
            return bytes;
        }
        bytes.append(buffer, count);
    }
}

// The mount a descriptor lies on, as "/proc/self/fdinfo" names it.
int mountIDOf(int descriptor) {
    const int info =
        ::open(("/proc/self/fdinfo/" + QByteArray::number(descriptor)).constData(), O_RDONLY | O_CLOEXEC);
    if (info < 0) {
        return -1;
    }
    const QByteArray text = readAll(info);
    ::close(info);
    for (const QByteArray& line : text.split('\n')) {
        if (line.startsWith("mnt_id:")) {
            return line.mid(7).trimmed().toInt();
        }
    }
    return -1;
}

} // namespace

VnodeEventReader& VnodeEventReader::shared() {
    // Never destroyed: sources may be released from static destructors.
    static auto* reader = new VnodeEventReader;
    return *reader;
}

VnodeEventReader::VnodeEventReader()
    : inotify_(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)),
      mountTable_(::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC)) {
    readMountTable();
    thread_ = std::thread([this] { run(); });
    thread_.detach();
}

VnodeEventReader::WatchID VnodeEventReader::watch(const QString& path, Handler handler) {
    if (inotify_ < 0 || path.isEmpty()) {
        return 0;
    }
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_PATH | O_CLOEXEC | O_NOFOLLOW);
    if (descriptor < 0) {
        return 0;
    }
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        ::close(descriptor);
        return 0;
    }
    std::lock_guard lock(mutex_);
    const WatchID id = nextID_++;
    Item& item = items_[id];
    item.descriptor = descriptor;
    item.isFolder = S_ISDIR(status.st_mode);
    item.size = static_cast<std::uint64_t>(status.st_size);
    item.linkCount = static_cast<std::uint64_t>(status.st_nlink);
    item.mountID = mountIDOf(descriptor);
    item.handler = std::move(handler);
    item.itemWatch = addWatch(descriptorPath(descriptor), id, Role::Item);
    if (item.itemWatch < 0) {
        ::close(descriptor);
        items_.erase(id);
        return 0;
    }
    watchParentLocked(id, item);
    return id;
}

void VnodeEventReader::unwatch(WatchID id) {
    std::lock_guard lock(mutex_);
    const auto found = items_.find(id);
    if (found == items_.end()) {
        return;
    }
    removeWatch(found->second.itemWatch, id, Role::Item);
    removeWatch(found->second.parentWatch, id, Role::Parent);
    ::close(found->second.descriptor);
    items_.erase(found);
}

QString VnodeEventReader::descriptorPath(int descriptor) {
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(descriptor);
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink(link.constData(), buffer, sizeof buffer);
    // A deleted item reads as "<old path> (deleted)"; its link count tells.
    struct stat status {};
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer || buffer[0] != '/' ||
        ::fstat(descriptor, &status) != 0 || status.st_nlink == 0) {
        return {};
    }
    return QFile::decodeName(QByteArray(buffer, static_cast<qsizetype>(length)));
}

int VnodeEventReader::addWatch(const QString& path, WatchID id, Role role) {
    if (path.isEmpty()) {
        return -1;
    }
    const int watch = ::inotify_add_watch(inotify_, QFile::encodeName(path).constData(), kWatchMask);
    if (watch >= 0) {
        watchers_[watch].insert({id, role});
    }
    return watch;
}

void VnodeEventReader::removeWatch(int watch, WatchID id, Role role) {
    const auto found = watchers_.find(watch);
    if (watch < 0 || found == watchers_.end()) {
        return;
    }
    found->second.erase({id, role});
    if (found->second.empty()) {
        watchers_.erase(found);
        ::inotify_rm_watch(inotify_, watch);
    }
}

void VnodeEventReader::watchParentLocked(WatchID id, Item& item) {
    removeWatch(item.parentWatch, id, Role::Parent);
    item.parentWatch = -1;
    const QString path = descriptorPath(item.descriptor);
    if (!path.isEmpty() && path != QLatin1String("/")) {
        item.parentWatch = addWatch(QFileInfo(path).path(), id, Role::Parent);
    }
}

void VnodeEventReader::run() {
    // The mount table reports a change as an exceptional condition until it is read again.
    pollfd descriptors[2] = {{inotify_, POLLIN, 0}, {mountTable_, POLLPRI, 0}};
    const nfds_t count = mountTable_ >= 0 ? 2 : 1;
    for (;;) {
        if (::poll(descriptors, count, -1) < 0) {
            continue;
        }
        if (descriptors[0].revents & POLLIN) {
            readEvents();
        }
        if (count > 1 && (descriptors[1].revents & (POLLPRI | POLLERR))) {
            readMountTable();
        }
    }
}

void VnodeEventReader::readEvents() {
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        const ssize_t length = ::read(inotify_, buffer, sizeof buffer);
        if (length <= 0) {
            return;
        }
        std::lock_guard lock(mutex_);
        for (ssize_t offset = 0; offset < length;) {
            inotify_event event{};
            std::memcpy(&event, buffer + offset, sizeof event);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
            const auto found = watchers_.find(event.wd);
            if (found == watchers_.end()) {
                continue;
            }
            // Handlers may not unwatch, but a removed watch drops entries.
            const auto registrations = found->second;
            if (event.mask & IN_IGNORED) {
                watchers_.erase(found);
            }
            for (const auto& [id, role] : registrations) {
                const auto item = items_.find(id);
                if (item == items_.end()) {
                    continue;
                }
                if (event.mask & IN_IGNORED) {
                    (role == Role::Item ? item->second.itemWatch : item->second.parentWatch) = -1;
                }
                dispatchLocked(id, item->second, flagsForEvent(item->second, role, event.mask));
            }
        }
    }
}

void VnodeEventReader::dispatchLocked(WatchID id, Item& item, unsigned long flags) {
    if (item.gone || flags == 0) {
        return;
    }
    QString newPath;
    if (flags & (VnodeDelete | VnodeRevoke)) {
        item.gone = true;
    } else if (flags & VnodeRename) {
        watchParentLocked(id, item);
        newPath = descriptorPath(item.descriptor);
    }
    // A copy: the handler may end the watch and with it the item.
    const Handler handler = item.handler;
    handler(flags, newPath);
}

unsigned long VnodeEventReader::flagsForEvent(Item& item, Role role, std::uint32_t mask) {
    if (role == Role::Parent) {
        // A folder removed from its parent hears nothing itself while it is
        // referenced; only its link count shows it is gone. Other link
        // changes are the item's own events to report.
        struct stat status {};
        if ((mask & kEntryChanges) && ::fstat(item.descriptor, &status) == 0 && status.st_nlink == 0) {
            item.linkCount = 0;
            return VnodeDelete | VnodeLink;
        }
        return 0;
    }
    unsigned long flags = 0;
    if (mask & IN_MODIFY) {
        flags |= VnodeWrite;
        struct stat status {};
        if (::fstat(item.descriptor, &status) == 0) {
            const auto size = static_cast<std::uint64_t>(status.st_size);
            if (size > item.size) {
                flags |= VnodeExtend;
            }
            item.size = size;
        }
    }
    if (mask & IN_ATTRIB) {
        const unsigned long linkFlags = linkCountFlags(item);
        flags |= linkFlags != 0 ? linkFlags : VnodeAttrib;
    }
    if (item.isFolder && (mask & kEntryChanges)) {
        // A folder is written when its entries change; a subfolder coming or
        // going changes its link count too.
        flags |= VnodeWrite | linkCountFlags(item);
    }
    if (mask & IN_DELETE_SELF) {
        flags |= VnodeDelete;
    }
    if (mask & IN_MOVE_SELF) {
        flags |= VnodeRename;
    }
    if (mask & (IN_UNMOUNT | IN_IGNORED)) {
        flags |= VnodeRevoke;
    }
    return flags;
}

unsigned long VnodeEventReader::linkCountFlags(Item& item) {
    struct stat status {};
    if (::fstat(item.descriptor, &status) != 0) {
        return 0;
    }
    const auto linkCount = static_cast<std::uint64_t>(status.st_nlink);
    if (linkCount == item.linkCount) {
        return 0;
    }
    item.linkCount = linkCount;
    return linkCount == 0 ? (VnodeLink | VnodeDelete) : VnodeLink;
}

void VnodeEventReader::readMountTable() {
    if (mountTable_ < 0) {
        return;
    }
    std::set<int> present;
    for (const QByteArray& line : readAll(mountTable_).split('\n')) {
        bool ok = false;
        const int id = line.left(line.indexOf(' ')).toInt(&ok);
        if (ok) {
            present.insert(id);
        }
    }
    std::lock_guard lock(mutex_);
    std::vector<WatchID> revoked;
    for (const auto& [id, item] : items_) {
        if (item.mountID >= 0 && !present.contains(item.mountID)) {
            revoked.push_back(id);
        }
    }
    for (const WatchID id : revoked) {
        if (const auto item = items_.find(id); item != items_.end()) {
            dispatchLocked(id, item->second, VnodeRevoke);
        }
    }
}

} // namespace platform
