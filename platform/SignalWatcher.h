#pragma once

#include <QList>
#include <QSocketNotifier>

#include <functional>
#include <initializer_list>
#include <memory>

namespace platform {

// Turns termination signals into a call on the event loop: the handler only
// writes the signal's number into a pipe, whose reading end the event loop
// watches, so the real work runs where anything may be done.
class SignalWatcher {
public:
    SignalWatcher(std::initializer_list<int> signalNumbers, std::function<void(int)> onSignal);
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

    bool isValid() const { return notifier_ != nullptr; }

private:
    static void handle(int signal);
    void drain();

    std::function<void(int)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QList<int> signals_;
};

} // namespace platform
