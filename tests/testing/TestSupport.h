#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

namespace testing_support {

// The root folder of the running test case.
QString testRoot();

// Waits (spinning the main run loop, so main-queue work runs) until the
// condition holds or the timeout passes; answers the condition's last value.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

QByteArray readFile(const QString& path);

struct ProgramResult {
    // The exit status; -1 when the program could not start or did not end
    // within a minute (it is killed then).
    int status = -1;
    QByteArray output;
    QByteArray errors;
};
// Runs a program to its end, feeding it `input` on its standard input.
ProgramResult runProgram(const QString& program, const QStringList& arguments, const QByteArray& input = {});
bool writeFile(const QString& path, const QByteArray& data);

// Writes into `folder` a stand-in for the platform tool at `systemPath`
// (say "/usr/bin/ditto") that notes each of its runs in the folder, then
// does the real tool's work; point KESTREL_TOOLS_DIR at the folder.
bool writeRunCountingTool(const QString& folder, const QString& systemPath);
// How many times the tools of `folder` have been run so far.
int toolRuns(const QString& folder);

// A TCP socket bound to a free port of the loopback interface, which goes
// to `port`; listening when asked, with connections then waiting
// unanswered. Its descriptor, or -1.
int loopbackSocket(bool listening, quint16* port);

} // namespace testing_support
