// kestrel-codesign: signs app bundles with a developer identity and checks
// their signatures against code requirements.

#include "platform/CodeRequirement.h"
#include "platform/CodeSignature.h"
#include "platform/CodeSigner.h"
#include "platform/PropertyList.h"

#include <QFile>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstdio>

using namespace platform;

namespace {

constexpr const char* kUsage =
    "usage: kestrel-codesign sign --key KEY.pem --chain CHAIN.pem [--entitlements FILE.plist]\n"
    "                             [--identifier ID] BUNDLE...\n"
    "       kestrel-codesign verify [--requirement TEXT] BUNDLE...\n"
    "       kestrel-codesign display BUNDLE...\n"
    "exit status: 0 done, 1 a bundle failed, 2 wrong usage or unreadable identity\n";

void print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
}

int usage(const QString& problem) {
    std::fprintf(stderr, "kestrel-codesign: %s\n%s", problem.toLocal8Bit().constData(), kUsage);
    return 2;
}

std::optional<QByteArray> readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll();
}

// "BUNDLE: message (status)" and a line per item the detailed error names.
void reportFailure(const QString& bundle, OSStatus status, const std::optional<Error>& detailed) {
    const Value::Dictionary userInfo = detailed ? detailed->userInfo() : Value::Dictionary();
    const QString message = userInfo.contains(NSLocalizedDescriptionKey)
                                ? userInfo[NSLocalizedDescriptionKey].toString()
                                : SecCopyErrorMessageString(status).value_or(QStringLiteral("unknown error"));
    print(stderr, QStringLiteral("%1: %2 (%3)").arg(bundle, message).arg(status));
    const QList<QPair<QString, QString>> lists{{kSecCFErrorResourceAltered, QStringLiteral("modified")},
                                               {kSecCFErrorResourceAdded, QStringLiteral("added")},
                                               {kSecCFErrorResourceMissing, QStringLiteral("missing")}};
    for (const auto& [key, label] : lists) {
        for (const Value& item : userInfo[key].toArray()) {
            print(stderr, QStringLiteral("  %1: %2").arg(label, item.toURL().toLocalFile()));
        }
    }
    if (userInfo.contains(kSecCFErrorPath)) {
        print(stderr, QStringLiteral("  at: %1").arg(userInfo[kSecCFErrorPath].toURL().toLocalFile()));
    }
    if (userInfo.contains(kSecCFErrorRequirementSyntax)) {
        print(stderr,
              QStringLiteral("  requirement: %1").arg(userInfo[kSecCFErrorRequirementSyntax].toString()));
    }
    if (const Value underlying = userInfo[NSUnderlyingErrorKey]; underlying.toError()) {
        reportFailure(QStringLiteral("  nested"), static_cast<OSStatus>(underlying.toError()->code()),
                      *underlying.toError());
    }
}

// Options ("--name value") before the bundles; false on an unknown or incomplete one.
bool splitOptions(const QStringList& arguments, const QStringList& known, QMap<QString, QString>* options,
                  QStringList* bundles, QString* problem) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!argument.startsWith(QLatin1String("--"))) {
            *bundles = arguments.mid(i);
            return true;
        }
        if (!known.contains(argument)) {
            *problem = QStringLiteral("unknown option %1").arg(argument);
            return false;
        }
        if (i + 1 >= arguments.size()) {
            *problem = QStringLiteral("%1 needs a value").arg(argument);
            return false;
        }
        options->insert(argument, arguments[++i]);
    }
    return true;
}

int sign(const QMap<QString, QString>& options, const QStringList& bundles) {
    if (!options.contains(QStringLiteral("--key")) || !options.contains(QStringLiteral("--chain"))) {
        return usage(QStringLiteral("sign needs --key and --chain"));
    }
    CodeSigner::Identity identity;
    const std::optional<QByteArray> key = readFile(options[QStringLiteral("--key")]);
    const std::optional<QByteArray> chain = readFile(options[QStringLiteral("--chain")]);
    if (!key || !chain) {
        return usage(QStringLiteral("cannot read %1")
                         .arg(options[key ? QStringLiteral("--chain") : QStringLiteral("--key")]));
    }
    identity.privateKey = *key;
    identity.certificateChain = *chain;
    Value::Dictionary entitlements;
    if (options.contains(QStringLiteral("--entitlements"))) {
        const QString path = options[QStringLiteral("--entitlements")];
        const std::optional<QByteArray> data = readFile(path);
        const std::optional<Value> value = data ? PropertyList::read(*data) : std::nullopt;
        if (!value || value->kind() != Value::Kind::Dictionary) {
            return usage(QStringLiteral("%1 is not a property list holding a dictionary").arg(path));
        }
        entitlements = value->toDictionary();
    }
    int result = 0;
    for (const QString& bundle : bundles) {
        std::optional<Error> detailed;
        const OSStatus status = CodeSigner::signBundle(
            bundle, identity, options.value(QStringLiteral("--identifier")), entitlements, &detailed);
        if (status == errSecCSInternalError) {
            reportFailure(bundle, status, detailed);
            return 2;
        }
        if (status != errSecSuccess) {
            reportFailure(bundle, status, detailed);
            result = 1;
        } else {
            print(stdout, QStringLiteral("%1: signed").arg(bundle));
        }
    }
    return result;
}

int verify(const QMap<QString, QString>& options, const QStringList& bundles) {
    std::optional<CodeRequirement> requirement;
    if (options.contains(QStringLiteral("--requirement"))) {
        std::optional<Error> detailed;
        const OSStatus status = CodeRequirement::createWithString(options[QStringLiteral("--requirement")],
                                                                  &requirement, &detailed);
        if (status != errSecSuccess) {
            reportFailure(QStringLiteral("kestrel-codesign"), status, detailed);
            return 2;
        }
    }
    int result = 0;
    for (const QString& bundle : bundles) {
        std::optional<CodeSignature> code;
        std::optional<Error> detailed;
        OSStatus status = CodeSignature::createWithPath(bundle, kSecCSDefaultFlags, &code);
        if (status == errSecSuccess) {
            status = code->checkValidity(kSecCSCheckAllArchitectures, requirement ? &*requirement : nullptr,
                                         &detailed);
        }
        if (status != errSecSuccess) {
            reportFailure(bundle, status, detailed);
            result = 1;
        } else {
            print(stdout, QStringLiteral("%1: valid%2")
                              .arg(bundle, requirement ? QStringLiteral(" and satisfies its requirement")
                                                       : QString()));
        }
    }
    return result;
}

int display(const QStringList& bundles) {
    int result = 0;
    for (const QString& bundle : bundles) {
        std::optional<CodeSignature> code;
        Value::Dictionary information;
        OSStatus status = CodeSignature::createWithPath(bundle, kSecCSDefaultFlags, &code);
        if (status == errSecSuccess) {
            status = code->copySigningInformation(kSecCSRequirementInformation, &information);
        }
        if (status != errSecSuccess) {
            reportFailure(bundle, status, std::nullopt);
            result = 1;
            continue;
        }
        print(stdout, QStringLiteral("Path=%1").arg(bundle));
        if (!information.contains(kSecCodeInfoIdentifier)) {
            print(stdout, QStringLiteral("Signature=none"));
            continue;
        }
        print(stdout, QStringLiteral("Identifier=%1").arg(information[kSecCodeInfoIdentifier].toString()));
        print(stdout,
              QStringLiteral("TeamIdentifier=%1")
                  .arg(information.value(kSecCodeInfoTeamIdentifier, QStringLiteral("not set")).toString()));
        for (const QString& subject : information[kSecCodeInfoCertificateSubjects].toStringList()) {
            print(stdout, QStringLiteral("Authority=%1").arg(subject));
        }
        print(stdout, QStringLiteral("DesignatedRequirement=%1")
                          .arg(information[kSecCodeInfoDesignatedRequirement].toString()));
        const Value::Dictionary entitlements = information[kSecCodeInfoEntitlementsDict].toDictionary();
        for (auto it = entitlements.begin(); it != entitlements.end(); ++it) {
            print(stdout, QStringLiteral("Entitlement=%1").arg(it.key()));
        }
    }
    return result;
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    if (arguments.isEmpty()) {
        return usage(QStringLiteral("no command"));
    }
    const QString command = arguments.takeFirst();
    QStringList known;
    if (command == QLatin1String("sign")) {
        known = {QStringLiteral("--key"), QStringLiteral("--chain"), QStringLiteral("--entitlements"),
                 QStringLiteral("--identifier")};
    } else if (command == QLatin1String("verify")) {
        known = {QStringLiteral("--requirement")};
    } else if (command != QLatin1String("display")) {
        return usage(QStringLiteral("unknown command %1").arg(command));
    }
    QMap<QString, QString> options;
    QStringList bundles;
    QString problem;
    if (!splitOptions(arguments, known, &options, &bundles, &problem)) {
        return usage(problem);
    }
    if (bundles.isEmpty()) {
        return usage(QStringLiteral("no bundle given"));
    }
    if (command == QLatin1String("sign")) {
        return sign(options, bundles);
    }
    return command == QLatin1String("verify") ? verify(options, bundles) : display(bundles);
}
