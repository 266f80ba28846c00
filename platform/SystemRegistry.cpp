#include "SystemRegistry.h"

#include <QFile>
#include <QSet>
#include <QUuid>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <optional>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif
#include <ifaddrs.h>
#include <net/if.h>
#include <netpacket/packet.h>
#include <sys/utsname.h>

namespace platform {

namespace {

QString trimmedFileText(const char* path) {
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll()).trimmed();
}

std::optional<utsname> kernel() {
    utsname names{};
    if (uname(&names) != 0) {
        return std::nullopt;
    }
    return names;
}

QString uuidText(const QUuid& uuid) {
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

// The machine id is 32 hex digits without dashes.
QString uuidFromMachineID(const QString& machineID) {
    if (machineID.size() != 32) {
        return {};
    }
    const QByteArray digits = machineID.toLatin1();
    if (!std::all_of(digits.begin(), digits.end(),
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); })) {
        return {};
    }
    return uuidText(QUuid::fromRfc4122(QByteArray::fromHex(digits)));
}

// "13.4.1", "11", "6.1.0-13-amd64": the leading digits of the first three
// dot-separated parts; a missing or unreadable part counts as 0.
SystemRegistry::OperatingSystemVersion parseVersion(const QString& text) {
    long numbers[3] = {0, 0, 0};
    const QStringList parts = text.split(QLatin1Char('.'));
    for (qsizetype i = 0; i < 3 && i < parts.size(); ++i) {
        const QString& part = parts[i];
        qsizetype digits = 0;
        while (digits < part.size() && part[digits].isDigit()) {
            ++digits;
        }
        bool ok = false;
        const long number = QStringView(part).first(digits).toLong(&ok);
        numbers[i] = ok ? number : 0;
    }
    return {numbers[0], numbers[1], numbers[2]};
}

} // namespace

QString SystemRegistry::hardwareUUID() {
    // Usually readable by root only; the machine id stands in for it then.
    if (const QUuid product(trimmedFileText("/sys/class/dmi/id/product_uuid")); !product.isNull()) {
        return uuidText(product);
    }
    return uuidFromMachineID(trimmedFileText("/etc/machine-id"));
}

QList<SystemRegistry::NetworkInterface> SystemRegistry::primaryInterfaceCandidates() {
    ifaddrs* first = nullptr;
    if (getifaddrs(&first) != 0) {
        return {};
    }
    const std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> list(first, &freeifaddrs);

    // An interface appears once per address family; the hardware address and
    // the IPv4 address come in separate entries.
    QList<NetworkInterface> links;
    QSet<QString> withIPv4;
    for (const ifaddrs* entry = list.get(); entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || !(entry->ifa_flags & IFF_UP)) {
            continue;
        }
        const QString name = QString::fromLocal8Bit(entry->ifa_name);
        if (name.startsWith(QLatin1String("lo"))) {
            continue;
        }
        if (entry->ifa_addr->sa_family == AF_PACKET) {
            const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
            if (link->sll_halen == 6) {
                links.append({name, QByteArray(reinterpret_cast<const char*>(link->sll_addr), 6)});
            }
        } else if (entry->ifa_addr->sa_family == AF_INET) {
            withIPv4.insert(name);
        }
    }
    links.removeIf([&withIPv4](const NetworkInterface& link) { return !withIPv4.contains(link.name); });
    return links;
}

SystemRegistry::OperatingSystemVersion SystemRegistry::operatingSystemVersion() {
    if (const QString played = qEnvironmentVariable("KESTREL_OS_VERSION"); !played.isEmpty()) {
        return parseVersion(played);
    }
    const auto names = kernel();
    return names ? parseVersion(QString::fromLatin1(names->release)) : OperatingSystemVersion{};
}

QString SystemRegistry::operatingSystemBuild() {
    const auto names = kernel();
    return names ? QString::fromLatin1(names->version) : QString();
}

QString SystemRegistry::machineModel() {
    if (const QString product = trimmedFileText("/sys/class/dmi/id/product_name"); !product.isEmpty()) {
        return product;
    }
    const auto names = kernel();
    return names ? QString::fromLatin1(names->machine) : QString();
}

QString SystemRegistry::processorBrandString() {
#if defined(__x86_64__) || defined(__i386__)
    if (__get_cpuid_max(0x80000000, nullptr) < 0x80000004) {
        return {};
    }
    unsigned registers[12] = {};
    for (unsigned i = 0; i < 3; ++i) {
        unsigned* r = registers + 4 * i;
        __get_cpuid(0x80000002 + i, &r[0], &r[1], &r[2], &r[3]);
    }
    char brand[sizeof registers + 1] = {};
    memcpy(brand, registers, sizeof registers);
    return QString::fromLatin1(brand, qstrlen(brand)).trimmed();
#else
    return {};
#endif
}

SystemRegistry::ProcessorType SystemRegistry::processorType() {
#if defined(__x86_64__) || defined(__i386__)
    return {ProcessorTypeX86, -1};
#elif defined(__aarch64__)
    return {ProcessorTypeARM64, -1};
#elif defined(__arm__)
    return {ProcessorTypeARM, -1};
#else
    return {};
#endif
}

QStringList SystemRegistry::preferredLanguages() {
    QStringList languages;
    auto add = [&languages](const QString& locale) {
        // "en_GB.UTF-8@euro" → "en-GB"
        QString tag = locale.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
        if (tag.isEmpty() || tag == QLatin1String("C") || tag == QLatin1String("POSIX")) {
            return;
        }
        tag.replace(QLatin1Char('_'), QLatin1Char('-'));
        if (!languages.contains(tag)) {
            languages << tag;
        }
    };
    for (const QString& locale :
         qEnvironmentVariable("LANGUAGE").split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        add(locale);
    }
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const QString locale = qEnvironmentVariable(variable); !locale.isEmpty()) {
            add(locale);
            break;
        }
    }
    return languages;
}

} // namespace platform
