// Writes integer preferences from a process of its own, for the tests that
// check that one process sees what another wrote:
//   kestrel-defaults-writer DOMAIN PREFIX COUNT
// stores PREFIX0 = 0 … PREFIX<COUNT-1> = COUNT-1 in DOMAIN of $KESTREL_ROOT.

#include "platform/UserDefaults.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s DOMAIN PREFIX COUNT\n", argv[0]);
        return 2;
    }
    auto defaults = platform::UserDefaults::makeWithSuiteName(QString::fromLocal8Bit(argv[1]));
    const QString prefix = QString::fromLocal8Bit(argv[2]);
    const int count = std::atoi(argv[3]);
    for (int i = 0; i < count; ++i) {
        if (!defaults->setObject(i, prefix + QString::number(i))) {
            std::fprintf(stderr, "could not store %s%d\n", argv[2], i);
            return 1;
        }
    }
    return 0;
}
