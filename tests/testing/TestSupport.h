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

} // namespace testing_support
