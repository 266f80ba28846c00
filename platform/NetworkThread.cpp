#include "NetworkThread.h"

#include "DispatchSemaphore.h"

#include <QCoreApplication>
#include <QHostInfo>
#include <QLoggingCategory>
#include <QMetaMethod>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslSocket>
#include <QThread>

#include <atomic>
#include <cstdlib>
#include <mutex>

// Running Qt's networking without an application object.
//
// Qt 6 delivers events (queued calls, socket notifications, timers) on a
// thread only while a QCoreApplication exists, unless the thread is marked as
// not needing one; an unmarked thread's QEventLoop warns "Cannot be used
// without QApplication" and every event sent there is dropped. Tests and
// command-line programs have no application object, and making one on their
// behalf would change the whole process: it would become the main thread's
// event loop (MainRunLoop would hand main-queue work to it and answer
// isMainThread() for our thread), and its name would become the standard
// user-defaults domain.
//
// Qt marks its own service threads (QtDBus's among them) by making them
// QDaemonThreads: a QThread whose started() sets the mark on the thread
// running it. The class is private but exported from QtCore; we declare it
// below and use it in two ways:
// - the network thread is a QDaemonThread;
// - a QNetworkAccessManager does its HTTP work on a plain QThread of its own
//   ("QNetworkAccessManager thread"), made on its first request. We catch
//   that thread as it starts with Qt's signal-spy hook (exported as well):
//   a starting QThread emits started() from itself before its event loop
//   runs, so nothing can have been dropped yet, and from inside that call
//   we emit started() of an idle QDaemonThread, which marks the calling
//   thread. The hook is installed only while a manager of ours has yet to
//   start its thread, and hands every signal on to any hook installed
//   before it.
// Some of QtNetwork's singletons (Q_APPLICATION_STATIC) also connect to the
// application's destroyed() so they can be reset with it, and warn
// ("QObject::connect(QObject, Unknown): invalid nullptr parameter") when
// there is none; without an application they live until the process ends,
// which is what we want. We make them up front with that one category's
// warnings off.
//
// With an application object none of this is needed and none of it is done
// apart from the network thread being a QDaemonThread, which also keeps it
// serving after the application object is gone.
//
// The declarations below are Qt's own (unchanged since Qt 5.5). Should a Qt
// upgrade change them, URLSessionTests fail: their requests never progress,
// and Qt's warnings fail every case.

QT_BEGIN_NAMESPACE

class QDaemonThread : public QThread {
public:
    explicit QDaemonThread(QObject* parent = nullptr);
    ~QDaemonThread() override;
};

struct QSignalSpyCallbackSet {
    using BeginCallback = void (*)(QObject* caller, int signalOrMethodIndex, void** argv);
    using EndCallback = void (*)(QObject* caller, int signalOrMethodIndex);
    BeginCallback signal_begin_callback;
    BeginCallback slot_begin_callback;
    EndCallback signal_end_callback;
    EndCallback slot_end_callback;
};

Q_CORE_EXPORT void qt_register_signal_spy_callbacks(QSignalSpyCallbackSet* callbackSet);
extern Q_CORE_EXPORT QBasicAtomicPointer<QSignalSpyCallbackSet> qt_signal_spy_callback_set;

QT_END_NAMESPACE

namespace platform {

namespace {

const QLatin1String kManagerThreadName("QNetworkAccessManager thread");
const char* const kConnectWarningsCategory = "qt.core.qobject.connect";

// The hook runs inside Qt's signal emission on whatever thread emits, so its
// bookkeeping cannot wait for a queue: a mutex for installing and removing
// it, and an atomic for the hook it passes signals on to.
struct ManagerThreadExemption {
    std::mutex mutex;
    int pendingThreads = 0;
    QDaemonThread* marker = nullptr;
    std::atomic<QSignalSpyCallbackSet*> previous{nullptr};
};

ManagerThreadExemption& exemption() {
    static auto* state = new ManagerThreadExemption;
    return *state;
}

void signalBegin(QObject* caller, int index, void** argv);
void signalEnd(QObject* caller, int index);
void slotBegin(QObject* caller, int index, void** argv);
void slotEnd(QObject* caller, int index);

QSignalSpyCallbackSet spyCallbacks{signalBegin, slotBegin, signalEnd, slotEnd};

void markIfManagerThread(QThread* thread) {
    if (thread->objectName() != kManagerThreadName) {
        return;
    }
    auto& state = exemption();
    std::lock_guard lock(state.mutex);
    if (state.pendingThreads == 0) {
        return;
    }
    QMetaMethod::fromSignal(&QThread::started).invoke(state.marker, Qt::DirectConnection);
    if (--state.pendingThreads == 0 && qt_signal_spy_callback_set.loadAcquire() == &spyCallbacks) {
        qt_register_signal_spy_callbacks(state.previous.load());
    }
}

void signalBegin(QObject* caller, int index, void** argv) {
    if (auto* previous = exemption().previous.load(); previous && previous->signal_begin_callback) {
        previous->signal_begin_callback(caller, index, argv);
    }
    auto* thread = qobject_cast<QThread*>(caller);
    if (thread && thread == QThread::currentThread()) {
        markIfManagerThread(thread);
    }
}

void signalEnd(QObject* caller, int index) {
    if (auto* previous = exemption().previous.load(); previous && previous->signal_end_callback) {
        previous->signal_end_callback(caller, index);
    }
}

void slotBegin(QObject* caller, int index, void** argv) {
    if (auto* previous = exemption().previous.load(); previous && previous->slot_begin_callback) {
        previous->slot_begin_callback(caller, index, argv);
    }
}

void slotEnd(QObject* caller, int index) {
    if (auto* previous = exemption().previous.load(); previous && previous->slot_end_callback) {
        previous->slot_end_callback(caller, index);
    }
}

// A manager of ours is about to start its thread.
void expectManagerThread() {
    if (QCoreApplication::instance()) {
        return;
    }
    auto& state = exemption();
    std::lock_guard lock(state.mutex);
    if (!state.marker) {
        state.marker = new QDaemonThread;
    }
    if (state.pendingThreads++ == 0) {
        state.previous.store(qt_signal_spy_callback_set.loadAcquire());
        qt_register_signal_spy_callbacks(&spyCallbacks);
    }
}

QLoggingCategory::CategoryFilter filterBeforeQuiet = nullptr;

void quietConnectWarnings(QLoggingCategory* category) {
    if (filterBeforeQuiet) {
        filterBeforeQuiet(category);
    }
    if (qstrcmp(category->categoryName(), kConnectWarningsCategory) == 0) {
        category->setEnabled(QtWarningMsg, false);
    }
}

// Runs the work with Qt's warnings about connections to a missing
// application object off.
template <typename Work> void withoutApplicationWarnings(Work&& work) {
    if (QCoreApplication::instance()) {
        work();
        return;
    }
    filterBeforeQuiet = QLoggingCategory::installFilter(quietConnectWarnings);
    work();
    QLoggingCategory::installFilter(filterBeforeQuiet);
    filterBeforeQuiet = nullptr;
}

} // namespace

NetworkThread::NetworkThread() {
    thread_ = new QDaemonThread;
    thread_->setObjectName(QStringLiteral("URLSession"));
    context_ = new QObject;
    context_->moveToThread(thread_);
    thread_->start();
}

NetworkThread& NetworkThread::shared() {
    static NetworkThread* const instance = [] {
        auto* made = new NetworkThread;
        // Qt's singletons that networking uses are made now: with their
        // warnings off, and before the exit handler is registered, so that
        // they are torn down only after it has run.
        QMetaObject::invokeMethod(
            made->context_,
            [made] {
                made->manager(QByteArray());
                withoutApplicationWarnings([] {
                    // Host lookups: an invalid lookup id makes the lookup
                    // manager without looking anything up.
                    QHostInfo::abortHostLookup(-1);
                    // The TLS backend.
                    QSslSocket::supportsSsl();
                });
            },
            Qt::BlockingQueuedConnection);
        std::atexit([] { shared().stop(); });
        return made;
    }();
    return *instance;
}

void NetworkThread::post(std::function<void()> work) {
    QMetaObject::invokeMethod(
        context_, [work = std::move(work)] { work(); }, Qt::QueuedConnection);
}

bool NetworkThread::isCurrent() const {
    return QThread::currentThread() == thread_;
}

NetworkThread::Manager& NetworkThread::manager(const QByteArray& trustKey) {
    auto found = managers_.find(trustKey);
    if (found == managers_.end()) {
        Manager made;
        withoutApplicationWarnings([&made] { made.manager = new QNetworkAccessManager; });
        // Local caches are never used: no cache is set, and every request
        // says so as well.
        made.manager->setCache(nullptr);
        found = managers_.emplace(trustKey, made).first;
    }
    return found->second;
}

QNetworkReply* NetworkThread::get(const QByteArray& trustKey, const QNetworkRequest& request) {
    Manager& chosen = manager(trustKey);
    if (!chosen.used) {
        // Its first request starts the manager's own thread.
        chosen.used = true;
        expectManagerThread();
    }
    return chosen.manager->get(request);
}

// Transfers still running when the process exits are dropped, so that no
// network work is under way while Qt's singletons are torn down. The threads
// themselves stay, idle: Qt's threads cannot be joined, and one still
// finishing while the process exits races the TLS library's own clean-up of
// its per-thread state.
void NetworkThread::stop() {
    if (isCurrent()) {
        return;
    }
    auto dropped = DispatchSemaphore::make(0);
    post([this, dropped] {
        const QObjectList transfers = context_->children();
        qDeleteAll(transfers);
        dropped->signal();
    });
    dropped->wait(std::chrono::seconds(5));
}

} // namespace platform
