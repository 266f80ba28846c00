#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace platform {

// The facts about this machine that the system asks the platform registry
// for: its identity, network hardware, operating system, model, processor and
// the user's languages. Everything is read afresh on every call; callers keep
// what must not change while they run.
class SystemRegistry {
public:
    struct NetworkInterface {
        QString name;
        // The six bytes of the link-layer address.
        QByteArray hardwareAddress;
    };

    struct OperatingSystemVersion {
        long majorVersion = 0;
        long minorVersion = 0;
        long patchVersion = 0;
    };

    // The numbers the system uses for processor kinds; -1 stands for an unknown one.
    struct ProcessorType {
        int type = -1;
        int subtype = -1;
    };
    static constexpr int ProcessorTypeX86 = 7;
    static constexpr int ProcessorTypeARM = 12;
    static constexpr int ProcessorTypeARM64 = 0x0100000C;

    // The firmware's product UUID, else the machine id in UUID form
    // (upper-case, 8-4-4-4-12); empty when neither can be read.
    static QString hardwareUUID();
    // The interfaces that could be the primary one: up, with an IPv4 address,
    // not a loopback ("lo…"), with a link-layer address.
    static QList<NetworkInterface> primaryInterfaceCandidates();
    // KESTREL_OS_VERSION ("major.minor.patch", missing parts 0) when set,
    // so that tests can play an older or newer system; else the running
    // kernel's release numbers. All zero when neither can be read.
    static OperatingSystemVersion operatingSystemVersion();
    // The running kernel's version string, or empty.
    static QString operatingSystemBuild();
    // The firmware's product name, else the machine's architecture name.
    static QString machineModel();
    // The processor's brand string; empty where it cannot be read.
    static QString processorBrandString();
    static ProcessorType processorType();
    // The user's languages as tags ("en-GB"), most preferred first: the
    // LANGUAGE list, then the first of LC_ALL, LC_MESSAGES and LANG. The
    // "C" and "POSIX" locales name no language.
    static QStringList preferredLanguages();
};

} // namespace platform
