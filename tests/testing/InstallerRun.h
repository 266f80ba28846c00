#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace platform {
class Pipe;
class Task;
} // namespace platform

namespace testing_support {

class EnvironmentOverride;
class StoreProcess;

// The installer program, in its terminal mode ("--no-window" plus the given
// arguments) or with its window, run against a development store, with its
// standard output collected as it comes. It inherits the test's
// environment, with the store as its download host. A run still going when
// the object goes away is terminated.
class InstallerRun {
public:
    enum class Mode { Terminal, Window };
    InstallerRun(const StoreProcess& store, const QStringList& arguments, Mode mode = Mode::Terminal);
    ~InstallerRun();
    InstallerRun(const InstallerRun&) = delete;
    InstallerRun& operator=(const InstallerRun&) = delete;

    // Reads what arrives until the text appears, the program ends or two
    // minutes pass; answers whether the text appeared.
    bool waitForOutput(const QString& text);
    // The exit status, once the program ended (-1 when it did not within
    // two minutes).
    int finish();
    // Sends SIGINT.
    void interrupt();
    // Sends SIGTERM.
    void terminate();
    const QString& output() const { return text_; }

private:
    std::unique_ptr<EnvironmentOverride> environment_;
    std::shared_ptr<platform::Pipe> output_;
    std::shared_ptr<platform::Task> task_;
    QString text_;
};

} // namespace testing_support
