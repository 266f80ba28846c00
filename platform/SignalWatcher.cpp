#include "SignalWatcher.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

// A signal handler can reach nothing but globals; there is one watcher per process.
int pipeEnds[2] = {-1, -1};

} // namespace

SignalWatcher::SignalWatcher(std::initializer_list<int> signalNumbers, std::function<void(int)> onSignal)
    : onSignal_(std::move(onSignal)), signals_(signalNumbers) {
    if (pipeEnds[0] >= 0 || ::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(pipeEnds[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { drain(); });
    for (const int signal : signals_) {
        struct sigaction action {};
        action.sa_handler = &SignalWatcher::handle;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(signal, &action, nullptr);
    }
}

SignalWatcher::~SignalWatcher() {
    if (!notifier_) {
        return;
    }
    for (const int signal : signals_) {
        ::signal(signal, SIG_DFL);
    }
    notifier_.reset();
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void SignalWatcher::handle(int signal) {
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // A full pipe already holds a wake-up; losing this byte changes nothing.
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &number, 1);
    errno = savedErrno;
}

void SignalWatcher::drain() {
    unsigned char numbers[64];
    ssize_t count;
    while ((count = ::read(pipeEnds[0], numbers, sizeof numbers)) > 0) {
        for (ssize_t i = 0; i < count; ++i) {
            onSignal_(numbers[i]);
        }
    }
}

} // namespace platform
