// Vnode sources on real files and folders: which flags each change gives,
// the new path after a move, revocation when the file system goes away,
// and that cancelling is final.

#include "platform/DispatchQueue.h"
#include "platform/DispatchSource.h"
#include "platform/FileReference.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <condition_variable>
#include <mutex>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;
using testing_support::testRoot;

namespace {

// Collects what a source's handler sees.
class Recorder {
public:
    void record(unsigned long flags, const QString& path) {
        std::lock_guard lock(mutex_);
        seen_ |= flags;
        path_ = path;
        changed_.notify_all();
    }
    // Waits until every one of `flags` was seen since the last `reset`.
    bool waitFor(unsigned long flags) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return (seen_ & flags) == flags; });
    }
    unsigned long seen() {
        std::lock_guard lock(mutex_);
        return seen_;
    }
    QString path() {
        std::lock_guard lock(mutex_);
        return path_;
    }
    void reset() {
        std::lock_guard lock(mutex_);
        seen_ = 0;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    unsigned long seen_ = 0;
    QString path_;
};

// A source recording into a recorder. Its handler may still be running when
// the test lets go of the source, so the watch cancels the source and waits
// for its queue before the recorder (declared earlier) goes away.
class Watch {
public:
    Watch(const QString& path, Recorder& recorder, unsigned long mask)
        : queue_(DispatchQueue::make(QStringLiteral("vnode-test"))),
          source_(DispatchSource::makeVnode(path, mask, queue_)) {
        if (source_) {
            std::weak_ptr<DispatchSource> weak = source_;
            source_->setEventHandler([weak, &recorder] {
                if (auto strong = weak.lock()) {
                    recorder.record(strong->data(), strong->path());
                }
            });
            source_->resume();
        }
    }
    ~Watch() {
        if (source_) {
            source_->cancel();
            queue_->sync([] {});
        }
    }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;

    explicit operator bool() const { return source_ != nullptr; }

private:
    std::shared_ptr<DispatchQueue> queue_;
    std::shared_ptr<DispatchSource> source_;
};

std::unique_ptr<Watch> watch(const QString& path, Recorder& recorder, unsigned long mask = VnodeAllFlags) {
    auto made = std::make_unique<Watch>(path, recorder, mask);
    return *made ? std::move(made) : nullptr;
}

void append(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Waits until a queue has run everything submitted to it so far.
void drain(const std::shared_ptr<DispatchQueue>& queue) {
    queue->sync([] {});
}

} // namespace

TEST(VnodeSource, FileEventsGiveTheirFlags) {
    const QString path = testRoot() + QStringLiteral("/notes.txt");
    ASSERT_TRUE(testing_support::writeFile(path, "one"));
    Recorder recorder;
    const auto source = watch(path, recorder);
    ASSERT_TRUE(source);

    append(path, "two");
    EXPECT_TRUE(recorder.waitFor(VnodeWrite | VnodeExtend));

    // Rewriting in place writes without growing.
    recorder.reset();
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_EQ(file.write("ONE"), 3);
    }
    ASSERT_TRUE(recorder.waitFor(VnodeWrite));
    EXPECT_FALSE(recorder.seen() & VnodeExtend);

    recorder.reset();
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0600), 0);
    ASSERT_TRUE(recorder.waitFor(VnodeAttrib));
    EXPECT_FALSE(recorder.seen() & (VnodeLink | VnodeDelete));

    recorder.reset();
    const QString second = testRoot() + QStringLiteral("/second-name.txt");
    ASSERT_EQ(::link(QFile::encodeName(path).constData(), QFile::encodeName(second).constData()), 0);
    ASSERT_TRUE(recorder.waitFor(VnodeLink));
    EXPECT_FALSE(recorder.seen() & VnodeDelete);

    // Losing one of two names is not a deletion.
    recorder.reset();
    ASSERT_TRUE(QFile::remove(second));
    ASSERT_TRUE(recorder.waitFor(VnodeLink));
    EXPECT_FALSE(recorder.seen() & VnodeDelete);

    recorder.reset();
    const QString renamed = testRoot() + QStringLiteral("/renamed.txt");
    ASSERT_TRUE(QFile::rename(path, renamed));
    ASSERT_TRUE(recorder.waitFor(VnodeRename));
    EXPECT_EQ(recorder.path(), renamed);

    // The source follows the item, not its old path.
    recorder.reset();
    append(renamed, "three");
    EXPECT_TRUE(recorder.waitFor(VnodeWrite | VnodeExtend));

    recorder.reset();
    ASSERT_TRUE(QFile::remove(renamed));
    EXPECT_TRUE(recorder.waitFor(VnodeDelete));
}

TEST(VnodeSource, MovesAcrossFoldersGiveTheNewPath) {
    ASSERT_TRUE(QDir().mkpath(testRoot() + QStringLiteral("/from")));
    ASSERT_TRUE(QDir().mkpath(testRoot() + QStringLiteral("/to/deeper")));
    const QString path = testRoot() + QStringLiteral("/from/item");
    ASSERT_TRUE(testing_support::writeFile(path, "x"));
    Recorder recorder;
    const auto source = watch(path, recorder);
    ASSERT_TRUE(source);

    const QString moved = testRoot() + QStringLiteral("/to/deeper/item");
    ASSERT_TRUE(QFile::rename(path, moved));
    ASSERT_TRUE(recorder.waitFor(VnodeRename));
    EXPECT_EQ(recorder.path(), moved);

    // Replacing the old path with a new item says nothing about the watched one.
    ASSERT_TRUE(testing_support::writeFile(path, "new item"));
    recorder.reset();
    ASSERT_TRUE(QFile::remove(moved));
    EXPECT_TRUE(recorder.waitFor(VnodeDelete));
}

TEST(VnodeSource, ReplacingAnItemByRenamingOverItDeletesIt) {
    const QString path = testRoot() + QStringLiteral("/settings");
    const QString replacement = testRoot() + QStringLiteral("/settings.new");
    ASSERT_TRUE(testing_support::writeFile(path, "old"));
    ASSERT_TRUE(testing_support::writeFile(replacement, "new"));
    Recorder recorder;
    const auto source = watch(path, recorder);
    ASSERT_TRUE(source);
    ASSERT_EQ(::rename(QFile::encodeName(replacement).constData(), QFile::encodeName(path).constData()), 0);
    EXPECT_TRUE(recorder.waitFor(VnodeDelete));
}

TEST(VnodeSource, FolderEventsAndRemovalWhileReferenced) {
    const QString folder = testRoot() + QStringLiteral("/folder");
    ASSERT_TRUE(QDir().mkpath(folder));
    // Held as the framework holds watched items, by reference.
    const auto reference = FileReference::make(folder);
    ASSERT_TRUE(reference);
    Recorder recorder;
    const auto source = watch(folder, recorder);
    ASSERT_TRUE(source);

    ASSERT_TRUE(testing_support::writeFile(folder + QStringLiteral("/file"), "x"));
    ASSERT_TRUE(recorder.waitFor(VnodeWrite));
    EXPECT_FALSE(recorder.seen() & VnodeLink);

    recorder.reset();
    ASSERT_TRUE(QDir().mkdir(folder + QStringLiteral("/sub")));
    EXPECT_TRUE(recorder.waitFor(VnodeWrite | VnodeLink));

    recorder.reset();
    ASSERT_TRUE(QDir(folder).removeRecursively());
    EXPECT_TRUE(recorder.waitFor(VnodeDelete));
}

TEST(VnodeSource, MaskLimitsWhatIsDeliveredAndMissingItemsGiveNoSource) {
    EXPECT_FALSE(DispatchSource::makeVnode(testRoot() + QStringLiteral("/absent"), VnodeAllFlags,
                                           DispatchQueue::make(QStringLiteral("vnode-test"))));

    const QString path = testRoot() + QStringLiteral("/file");
    ASSERT_TRUE(testing_support::writeFile(path, "x"));
    Recorder writes;
    const auto source = watch(path, writes, VnodeWrite);
    Recorder everything;
    const auto witness = watch(path, everything);
    ASSERT_TRUE(source && witness);

    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0600), 0);
    append(path, "more");
    ASSERT_TRUE(everything.waitFor(VnodeAttrib | VnodeWrite | VnodeExtend));
    ASSERT_TRUE(writes.waitFor(VnodeWrite));
    EXPECT_EQ(writes.seen(), VnodeWrite);
}

TEST(VnodeSource, CancellingIsFinal) {
    const QString path = testRoot() + QStringLiteral("/file");
    ASSERT_TRUE(testing_support::writeFile(path, "x"));
    auto queue = DispatchQueue::make(QStringLiteral("vnode-test"));
    auto source = DispatchSource::makeVnode(path, VnodeAllFlags, queue);
    ASSERT_TRUE(source);
    std::atomic<int> handled{0};
    std::atomic<bool> cancelHandled{false};
    source->setEventHandler([&] { ++handled; });
    source->setCancelHandler([&] { cancelHandled = true; });
    source->resume();
    append(path, "1");
    ASSERT_TRUE(testing_support::waitUntil([&] { return handled > 0; }));

    source->cancel();
    const int before = handled;
    // A second source on the same item shows the later events did arrive.
    Recorder witness;
    const auto other = watch(path, witness);
    ASSERT_TRUE(other);
    append(path, "2");
    ASSERT_TRUE(witness.waitFor(VnodeWrite));
    drain(queue);
    EXPECT_EQ(handled, before);
    EXPECT_TRUE(cancelHandled);
    EXPECT_TRUE(source->isCancelled());
}

TEST(VnodeSource, ItemsAreRevokedWhenTheirFileSystemGoesAway) {
    const QString mountPoint = testRoot() + QStringLiteral("/volume");
    ASSERT_TRUE(QDir().mkpath(mountPoint));
    if (::mount("kestrel-test", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=1m") != 0) {
        GTEST_SKIP() << "mounting a file system needs privileges this machine does not give";
    }
    const QString path = mountPoint + QStringLiteral("/file");
    ASSERT_TRUE(testing_support::writeFile(path, "x"));
    Recorder recorder;
    const auto source = watch(path, recorder);
    ASSERT_TRUE(source);
    // A watched item keeps its file system busy, so it can only be detached.
    ASSERT_EQ(::umount2(QFile::encodeName(mountPoint).constData(), 0), -1);
    ASSERT_EQ(::umount2(QFile::encodeName(mountPoint).constData(), MNT_DETACH), 0);
    EXPECT_TRUE(recorder.waitFor(VnodeRevoke));
}
