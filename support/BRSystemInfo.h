#pragma once

#include "platform/SystemRegistry.h"

#include <QList>
#include <QString>
#include <QStringList>

// Facts about the machine in the forms the system reports them: in request
// headers, analytics and compatibility checks. A value that cannot be read
// is an empty string unless said otherwise.
//
// The hardware UUID, MAC address, OS build and processor name cannot change
// while the process runs and are read once; the OS version, model and
// locales are read on every call (tests play other systems through
// KESTREL_OS_VERSION).
class BRSystemInfo {
public:
    BRSystemInfo() = delete;

    static QString hardwareUUID();
    // The primary interface's address: lower-case hex pairs joined by ":".
    static QString MACAddress();
    // The address of the primary interface among `candidates`: the one whose
    // name sorts first, ignoring case and comparing numbers by value
    // (en0 < en1 < en10, eth0 < wlan0); empty when there is none.
    static QString
    MACAddressOfPrimaryInterface(const QList<platform::SystemRegistry::NetworkInterface>& candidates);
    // "major.minor.patch"; "0.0.0" when unknown.
    static QString OSVersion();
    static QString OSBuild();
    static QString machineModel();
    // The processor's brand name on x86 ("Intel" when it cannot be read);
    // for other processors "Unknown (type = T, subtype = S)". Never empty.
    static QString CPUFullBrandName();
    // The first `count` of the user's preferred languages (all when there are fewer).
    static QStringList preferredLocales(qsizetype count);
};
