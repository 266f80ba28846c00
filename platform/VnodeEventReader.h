#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace platform {

// Flags of file-system item events, as vnode sources report them.
enum VnodeFlag : unsigned long {
    VnodeDelete = 0x1,
    VnodeWrite = 0x2,
    VnodeExtend = 0x4,
    VnodeAttrib = 0x8,
    VnodeLink = 0x10,
    VnodeRename = 0x20,
    VnodeRevoke = 0x40,
};
constexpr unsigned long VnodeAllFlags = 0x7f;

// The one reader of file-system events in the process: one inotify instance
// and one thread that turns its events into vnode flags per watched item.
//
// Each item is held by an O_PATH descriptor, which grants no access to its
// contents but follows the item itself: its present path is read back from
// "/proc/self/fd" after a move, and its link count from `fstat`. Because the
// descriptor keeps the item's directory entry referenced (as the file
// reference URLs of the framework do anyway), the kernel reports a deleted
// item's own removal only once every descriptor is closed; deletion is
// therefore read from the link count falling to zero, checked when the item
// changes its attributes (an unlink does) and when an entry leaves its
// folder (a removed folder tells only its parent). The same reference makes
// an unmount of the item's file system fail as busy unless it is detached
// lazily, so revocation is read from the process's mount table: when the
// item's mount leaves it, the item is revoked.
//
// An item replaced under the same path (saved by writing a new file and
// renaming it over the old one) is a new item: the watch reports the old
// one's deletion and does not move on to the new one.
class VnodeEventReader {
public:
    // Called on the reader's thread with the flags of one event and, when
    // the item was moved, its new path (empty when it no longer has one); it
    // must be short (merge the flags and submit work to a queue).
    using Handler = std::function<void(unsigned long flags, const QString& newPath)>;
    using WatchID = std::uint64_t;

    static VnodeEventReader& shared();

    // Starts watching the item at `path`; 0 when it cannot be watched.
    WatchID watch(const QString& path, Handler handler);
    // Final: once it returns the handler is not running and is never called again.
    void unwatch(WatchID id);

private:
    enum class Role { Item, Parent };
    struct Item {
        int descriptor = -1;
        int itemWatch = -1;
        int parentWatch = -1;
        bool isFolder = false;
        std::uint64_t size = 0;
        std::uint64_t linkCount = 0;
        int mountID = -1;
        bool gone = false;
        Handler handler;
    };

    VnodeEventReader();
    void run();
    void readEvents();
    void readMountTable();
    unsigned long flagsForEvent(Item& item, Role role, std::uint32_t mask);
    unsigned long linkCountFlags(Item& item);
    int addWatch(const QString& path, WatchID id, Role role);
    void removeWatch(int watch, WatchID id, Role role);
    void watchParentLocked(WatchID id, Item& item);
    void dispatchLocked(WatchID id, Item& item, unsigned long flags);
    static QString descriptorPath(int descriptor);

    const int inotify_;
    const int mountTable_;
    // Watches are added and removed by the sources' owners while the reader
    // thread dispatches events. Handlers run under the lock, which makes
    // `unwatch` final; it is recursive because a handler may drop the last
    // reference to its source, which then unwatches on this thread.
    std::recursive_mutex mutex_;
    std::map<WatchID, Item> items_;
    std::map<int, std::set<std::pair<WatchID, Role>>> watchers_;
    WatchID nextID_ = 1;
    std::thread thread_;
};

} // namespace platform
