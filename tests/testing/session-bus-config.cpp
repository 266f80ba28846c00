// Prints the configuration of the private session bus that tests and
// benchmarks start, for a shell script to run its own daemon with:
//   kestrel-session-bus-config SOCKET-PATH SERVICE-FOLDER
// Exit status 2 on a wrong number of arguments.

#include "SessionBusProcess.h"

#include <QString>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: kestrel-session-bus-config SOCKET-PATH SERVICE-FOLDER\n");
        return 2;
    }
    const QByteArray text = testing_support::SessionBusProcess::configuration(
        QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));
    return std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout) ==
                   static_cast<size_t>(text.size())
               ? 0
               : 1;
}
