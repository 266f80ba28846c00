#include "AFXTerminalInstallation.h"

#include "SpecificTools/Errors/AFXErrors.h"
#include "platform/Bundle.h"
#include "support/BRDispatch.h"

#include <utility>

#include <unistd.h>

namespace {

constexpr int kBarWidth = 40;
// Without a terminal a line per step of this many percent is enough.
constexpr int kPlainStepPercent = 10;

QString stateName(std::int64_t state) {
    switch (state) {
    case AFXInstallationStateIdle:
        return QStringLiteral("idle");
    case AFXInstallationStateDownloading:
        return QStringLiteral("downloading the desktop client");
    case AFXInstallationStateDownloadFailed:
        return QStringLiteral("download failed");
    case AFXInstallationStateDownloaded:
        return QStringLiteral("desktop client downloaded");
    case AFXInstallationStateClientLaunched:
        return QStringLiteral("desktop client started; connecting to its services");
    case AFXInstallationStateServicesFailed:
        return QStringLiteral("services failed");
    case AFXInstallationStateInstallingApp:
        return QStringLiteral("installing the app");
    case AFXInstallationStateAppInstallationFailed:
        return QStringLiteral("app installation failed");
    case AFXInstallationStatePreparingResources:
        return QStringLiteral("preparing the app's resources");
    case AFXInstallationStateReady:
        return QStringLiteral("ready");
    default:
        return QStringLiteral("unknown");
    }
}

} // namespace

AFXTerminalInstallation::AFXTerminalInstallation(std::shared_ptr<AFXInstallationManager> manager,
                                                 Options options, FILE* output)
    : manager_(std::move(manager)), options_(std::move(options)), output_(output),
      redraw_(isatty(fileno(output)) == 1) {
    clock_.start();
}

std::shared_ptr<AFXTerminalInstallation>
AFXTerminalInstallation::make(std::shared_ptr<AFXInstallationManager> manager, Options options,
                              FILE* output) {
    return std::shared_ptr<AFXTerminalInstallation>(
        new AFXTerminalInstallation(std::move(manager), std::move(options), output));
}

QString AFXTerminalInstallation::statusTextForInstallationState(std::int64_t state) {
    QString key;
    if (state >= AFXInstallationStateIdle && state <= AFXInstallationStateDownloadFailed) {
        key = QStringLiteral("StatusTextFieldAppDownloading");
    } else if (state >= AFXInstallationStateDownloaded && state <= AFXInstallationStatePreparingResources) {
        key = QStringLiteral("StatusTextFieldAppInstalling");
    } else if (state == AFXInstallationStateReady) {
        key = QStringLiteral("StatusTextFieldAppReady");
    } else {
        return {};
    }
    return platform::Bundle::mainBundle()->localizedStringForKey(key, QStringLiteral(" ")).trimmed();
}

void AFXTerminalInstallation::start(std::function<void(int)> finished) {
    finished_ = std::move(finished);
    const std::weak_ptr<AFXTerminalInstallation> weakSelf = weak_from_this();
    manager_->installWithProgressBlock(
        [weakSelf](std::int64_t state, double progress) {
            BRInteractWithUI([weakSelf, state, progress] {
                if (auto self = weakSelf.lock()) {
                    self->progressDidChange(state, progress);
                }
            });
        },
        [weakSelf](const std::optional<platform::Error>& error) {
            BRInteractWithUI([weakSelf, error] {
                if (auto self = weakSelf.lock()) {
                    self->installationDidEnd(error);
                }
            });
        });
}

void AFXTerminalInstallation::progressDidChange(std::int64_t state, double progress) {
    if (stopping_) {
        return;
    }
    showState(state);
    if (options_.stopAtState == state) {
        endProgressLine();
        std::fprintf(output_, "stopping at state %lld, as asked\n", static_cast<long long>(state));
        stopAndFinish(ExitInterrupted);
        return;
    }
    drawProgress(progress);
}

void AFXTerminalInstallation::showState(std::int64_t state) {
    if (shownState_ == state) {
        return;
    }
    endProgressLine();
    shownState_ = state;
    shownPercent_ = -1;
    stateTimes_.append({state, clock_.elapsed()});
    const QString text = statusTextForInstallationState(state);
    std::fprintf(output_, "[%lld] %s%s%s\n", static_cast<long long>(state), qUtf8Printable(stateName(state)),
                 text.isEmpty() ? "" : " — ", qUtf8Printable(text));
}

void AFXTerminalInstallation::drawProgress(double progress) {
    const int percent = qBound(0, static_cast<int>(progress * 100.0 + 0.5), 100);
    if (percent == shownPercent_ || (!redraw_ && shownPercent_ >= 0 && percent < 100 &&
                                     percent / kPlainStepPercent == shownPercent_ / kPlainStepPercent)) {
        return;
    }
    shownPercent_ = percent;
    const int filled = percent * kBarWidth / 100;
    const QByteArray bar = QByteArray(filled, '#') + QByteArray(kBarWidth - filled, '.');
    if (redraw_) {
        std::fprintf(output_, "\r[%s] %3d%%", bar.constData(), percent);
        progressLineOpen_ = true;
    } else {
        std::fprintf(output_, "[%s] %3d%%\n", bar.constData(), percent);
    }
    std::fflush(output_);
}

void AFXTerminalInstallation::endProgressLine() {
    if (progressLineOpen_) {
        std::fputc('\n', output_);
        progressLineOpen_ = false;
    }
}

void AFXTerminalInstallation::installationDidEnd(const std::optional<platform::Error>& error) {
    if (stopping_) {
        return;
    }
    endProgressLine();
    if (!error) {
        std::fprintf(output_, "Orbit Notes is installed.\n");
        std::fflush(output_);
        if (manager_->state() != AFXInstallationStateReady) {
            finish(ExitFailed);
        } else if (options_.launch) {
            launchAndFinish();
        } else {
            finish(ExitReady);
        }
        return;
    }
    // A failure changes the state without a progress report.
    showState(manager_->state());
    std::fprintf(output_, "error: %s (%s %lld)\n", qUtf8Printable(error->localizedDescription()),
                 qUtf8Printable(error->domain()), static_cast<long long>(error->code()));
    if (afx_isMissingService(*error)) {
        std::fprintf(output_, "       the desktop client's service %s cannot be reached\n",
                     qUtf8Printable(error->userInfo().value(AFXErrorServiceNameKey).toString()));
    }
    if (retriesMade_ < options_.retries) {
        ++retriesMade_;
        std::fprintf(output_, "retrying (%d of %d)…\n", retriesMade_, options_.retries);
        std::fflush(output_);
        // The failed state stays shown: the retry's first reports may still
        // carry it, and a second failure there follows its own error line.
        manager_->retryAfterError();
        return;
    }
    stopAndFinish(ExitFailed);
}

void AFXTerminalInstallation::interrupt() {
    // A run that has finished (ready, the app launched) has nothing to undo
    // while the process ends.
    if (stopping_ || !finished_) {
        return;
    }
    endProgressLine();
    // Ready, and maybe launching: the installation is complete and stays,
    // as it does when the window is closed then.
    if (manager_->state() == AFXInstallationStateReady) {
        stopping_ = true;
        std::fprintf(output_, "interrupted; Orbit Notes stays installed.\n");
        finish(ExitInterrupted);
        return;
    }
    stopAndFinish(ExitInterrupted);
}

void AFXTerminalInstallation::stopAndFinish(int status) {
    stopping_ = true;
    std::fprintf(output_, "stopping and undoing…\n");
    std::fflush(output_);
    manager_->stopInstallationWithCallback([weakSelf = weak_from_this(), status] {
        BRInteractWithUI([weakSelf, status] {
            if (auto self = weakSelf.lock()) {
                std::fprintf(self->output_, "stopped.\n");
                self->finish(status);
            }
        });
    });
}

void AFXTerminalInstallation::launchAndFinish() {
    std::fprintf(output_, "Launch: opening Orbit Notes' page in the desktop client…\n");
    std::fflush(output_);
    manager_->launchWithCallback([weakSelf = weak_from_this()](bool clientOpened) {
        BRInteractWithUI([weakSelf, clientOpened] {
            auto self = weakSelf.lock();
            // Interrupted while the client was asked: the stop ends the run.
            if (!self || self->stopping_) {
                return;
            }
            if (!clientOpened) {
                std::fprintf(self->output_, "error: the desktop client could not be opened\n");
                self->finish(ExitFailed);
                return;
            }
            std::fprintf(self->output_, "the desktop client shows Orbit Notes' page%s\n",
                         self->manager_->canLaunchApp() ? "; Orbit Notes opens in two seconds"
                                                        : " (nobody is signed in, so the app is not opened)");
            self->finish(ExitReady);
        });
    });
}

void AFXTerminalInstallation::finish(int status) {
    const auto finished = std::exchange(finished_, nullptr);
    if (!finished) {
        return;
    }
    if (!stateTimes_.isEmpty()) {
        std::fprintf(output_, "time in each state:\n");
        const qint64 end = clock_.elapsed();
        for (qsizetype i = 0; i < stateTimes_.size(); ++i) {
            const auto& [state, start] = stateTimes_[i];
            const qint64 until = i + 1 < stateTimes_.size() ? stateTimes_[i + 1].second : end;
            std::fprintf(output_, "  [%lld] %-52s %6.2f s\n", static_cast<long long>(state),
                         qUtf8Printable(stateName(state)), double(until - start) / 1000.0);
        }
    }
    std::fflush(output_);
    finished(status);
}
