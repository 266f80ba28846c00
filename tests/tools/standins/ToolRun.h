#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace testing_support {

// One run of a program to its end, the way the system runs the platform
// tools: input (when given) goes through a pipe in 256 KiB chunks while both
// output streams are collected. A run that does not end within a minute is
// stopped and fails the test.
class ToolRun {
public:
    static ToolRun run(const QString& program, const QStringList& arguments,
                       const std::optional<QByteArray>& input = std::nullopt);
    // A stand-in by its system name ("ditto"), looked up as the system does.
    static QString standIn(const QString& name);
    // A program from PATH ("bsdtar", "python3").
    static QString program(const QString& name);

    // The exit status, or -1 when the program did not exit by itself.
    int status = -1;
    QByteArray output;
    QByteArray errors;
};

} // namespace testing_support
