#pragma once

#include "AFXInstallationManager.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

// The installer without its window: drives one installation, prints each
// state's text and a progress bar (redrawn in place on a terminal, plain
// lines otherwise), retries failures a given number of times, stops and
// undoes on failure or when interrupted, and once the app is ready presses
// Launch as the window's button does. At the end it says how long each
// state lasted. Everything runs on the main queue.
class AFXTerminalInstallation : public std::enable_shared_from_this<AFXTerminalInstallation> {
public:
    struct Options {
        // Failed steps retried before undoing.
        int retries = 0;
        // Stop and undo as soon as this state is reached, as a user
        // pressing Stop at that moment would.
        std::optional<std::int64_t> stopAtState;
        // Launch once ready.
        bool launch = true;
    };

    // Exit statuses.
    static constexpr int ExitReady = 0;
    static constexpr int ExitFailed = 1;
    static constexpr int ExitInterrupted = 130;

    static std::shared_ptr<AFXTerminalInstallation> make(std::shared_ptr<AFXInstallationManager> manager,
                                                         Options options, FILE* output);

    // Starts; `finished` receives the exit status once the installation is
    // ready, or has been stopped and undone.
    void start(std::function<void(int status)> finished);
    // The user asked to stop: undo, then finish with ExitInterrupted.
    void interrupt();

    // The status line of a state: the installer's own texts.
    static QString statusTextForInstallationState(std::int64_t state);

private:
    AFXTerminalInstallation(std::shared_ptr<AFXInstallationManager> manager, Options options, FILE* output);

    void progressDidChange(std::int64_t state, double progress);
    void showState(std::int64_t state);
    void installationDidEnd(const std::optional<platform::Error>& error);
    void launchAndFinish();
    void stopAndFinish(int status);
    void finish(int status);
    void drawProgress(double progress);
    void endProgressLine();

    const std::shared_ptr<AFXInstallationManager> manager_;
    const Options options_;
    FILE* const output_;
    const bool redraw_;
    int retriesMade_ = 0;
    std::optional<std::int64_t> shownState_;
    // Each state shown, with when it was first shown.
    QList<std::pair<std::int64_t, qint64>> stateTimes_;
    QElapsedTimer clock_;
    int shownPercent_ = -1;
    bool progressLineOpen_ = false;
    bool stopping_ = false;
    std::function<void(int)> finished_;
};
