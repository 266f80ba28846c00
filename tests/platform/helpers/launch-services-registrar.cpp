// Registers application bundles from a process of its own, for the tests
// that check that processes share one Launch Services registry:
//   kestrel-launch-services-registrar PATH...
// registers each bundle in turn, in the registry of $KESTREL_ROOT.

#include "platform/LaunchServices.h"

#include <QUrl>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PATH...\n", argv[0]);
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        platform::Error error(QString(), 0);
        if (!platform::LaunchServices::registerURL(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[i])),
                                                   &error)) {
            std::fprintf(stderr, "could not register %s: %s\n", argv[i],
                         error.description().toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
