#include "BRSystemInfo.h"

#include <algorithm>

using platform::SystemRegistry;

namespace {

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

qsizetype endOfDigits(QStringView text, qsizetype from) {
    while (from < text.size() && isDigit(text[from])) {
        ++from;
    }
    return from;
}

// Ignores case and compares runs of digits by value. Interface names have at
// most 15 characters, so every run fits a 64-bit number.
bool interfaceNameSortsBefore(QStringView a, QStringView b) {
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            const qsizetype endA = endOfDigits(a, i);
            const qsizetype endB = endOfDigits(b, j);
            const qulonglong x = a.sliced(i, endA - i).toULongLong();
            const qulonglong y = b.sliced(j, endB - j).toULongLong();
            if (x != y) {
                return x < y;
            }
            i = endA;
            j = endB;
            continue;
        }
        const QChar x = a[i].toCaseFolded();
        const QChar y = b[j].toCaseFolded();
        if (x != y) {
            return x < y;
        }
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size()) {
        return i == a.size();
    }
    // Equal but for case or leading zeros: any fixed order keeps the choice stable.
    return a < b;
}

} // namespace

QString BRSystemInfo::hardwareUUID() {
    static const QString uuid = SystemRegistry::hardwareUUID();
    return uuid;
}

QString BRSystemInfo::MACAddress() {
    static const QString address = MACAddressOfPrimaryInterface(SystemRegistry::primaryInterfaceCandidates());
    return address;
}

QString
BRSystemInfo::MACAddressOfPrimaryInterface(const QList<SystemRegistry::NetworkInterface>& candidates) {
    const auto primary =
        std::min_element(candidates.cbegin(), candidates.cend(), [](const auto& a, const auto& b) {
            return interfaceNameSortsBefore(a.name, b.name);
        });
    return primary == candidates.cend() ? QString()
                                        : QString::fromLatin1(primary->hardwareAddress.toHex(':'));
}

QString BRSystemInfo::OSVersion() {
    const SystemRegistry::OperatingSystemVersion version = SystemRegistry::operatingSystemVersion();
    return QStringLiteral("%1.%2.%3")
        .arg(version.majorVersion)
        .arg(version.minorVersion)
        .arg(version.patchVersion);
}

QString BRSystemInfo::OSBuild() {
    static const QString build = SystemRegistry::operatingSystemBuild();
    return build;
}

QString BRSystemInfo::machineModel() {
    return SystemRegistry::machineModel();
}

QString BRSystemInfo::CPUFullBrandName() {
    static const QString name = [] {
        const SystemRegistry::ProcessorType processor = SystemRegistry::processorType();
        if (processor.type == SystemRegistry::ProcessorTypeX86) {
            const QString brand = SystemRegistry::processorBrandString();
            return brand.isEmpty() ? QStringLiteral("Intel") : brand;
        }
        return QStringLiteral("Unknown (type = %1, subtype = %2)").arg(processor.type).arg(processor.subtype);
    }();
    return name;
}

QStringList BRSystemInfo::preferredLocales(qsizetype count) {
    const QStringList languages = SystemRegistry::preferredLanguages();
    return languages.first(std::clamp<qsizetype>(count, 0, languages.size()));
}
