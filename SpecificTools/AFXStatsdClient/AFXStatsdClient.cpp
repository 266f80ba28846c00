#include "AFXStatsdClient.h"

#include "SpecificTools/AFXProductVersion.h"
#include "SpecificTools/Model/AFXEnvironmentID.h"
#include "support/BRLog.h"

const QString AFXStatsdClient::NamespaceKey = QStringLiteral("9d3f6c2a-58e1-4b7a-a0c4-7e25b81f9d60");

std::shared_ptr<AFXStatsdClient> AFXStatsdClient::make() {
    QString host = QString::fromLocal8Bit(qgetenv("KESTREL_STATSD_HOST"));
    if (host.isEmpty()) {
        host = QStringLiteral("localhost");
    }
    return makeWithHost(host, 0);
}

std::shared_ptr<AFXStatsdClient> AFXStatsdClient::makeWithHost(const QString& host, std::int32_t port) {
    auto statsd = std::shared_ptr<AFXStatsdClient>(
        new AFXStatsdClient(BRStatsdClient::makeWithHost(host, port, NamespaceKey)));
    statsd->client_->setDelegate(statsd);
    return statsd;
}

AFXStatsdClient::AFXStatsdClient(std::shared_ptr<BRStatsdClient> client)
    : client_(std::move(client)), versionPayload_(QString(AFXProductVersion).replace(u'.', u'_')),
      environmentID_(AFXEnvironmentID::defaultEnvironmentID()) {}

std::shared_ptr<AFXEnvironmentID> AFXStatsdClient::environmentID() const {
    std::lock_guard lock(mutex_);
    return environmentID_;
}

void AFXStatsdClient::setEnvironmentID(std::shared_ptr<AFXEnvironmentID> environmentID) {
    std::lock_guard lock(mutex_);
    environmentID_ = std::move(environmentID);
}

std::optional<QString> AFXStatsdClient::makeFormattedNameOfName(const QString& name) const {
    const auto environment = environmentID();
    const auto statsdID = environment ? environment->statsdID() : std::nullopt;
    if (!statsdID) {
        return std::nullopt;
    }
    return QStringLiteral("kestrel.%1.%2.%3").arg(*statsdID, versionPayload_, name);
}

void AFXStatsdClient::metricsNamedRecordCount(const QString& name, long count) {
    if (const auto formatted = makeFormattedNameOfName(name)) {
        client_->metricsNamedRecordCount(*formatted, count);
    }
}

void AFXStatsdClient::metricsNamedRecordSample(const QString& name, long count, double sampleRate) {
    if (const auto formatted = makeFormattedNameOfName(name)) {
        client_->metricsNamedRecordSample(*formatted, count, sampleRate);
    }
}

void AFXStatsdClient::metricsNamedRecordTiming(const QString& name, double seconds) {
    if (const auto formatted = makeFormattedNameOfName(name)) {
        client_->metricsNamedRecordTiming(*formatted, seconds);
    }
}

void AFXStatsdClient::metricsNamedSetGauge(const QString& name, long value) {
    if (const auto formatted = makeFormattedNameOfName(name)) {
        client_->metricsNamedSetGauge(*formatted, value);
    }
}

void AFXStatsdClient::metricsNamedAdjustGauge(const QString& name, long value) {
    if (const auto formatted = makeFormattedNameOfName(name)) {
        client_->metricsNamedAdjustGauge(*formatted, value);
    }
}

QString AFXStatsdClient::hideNamespace(const QString& command) const {
    return QString(command).replace(client_->nameSpace(), QStringLiteral("<statsdID>"));
}

void AFXStatsdClient::statsdClientDidSendCommand(BRStatsdClient&, const QString& command) {
    BRLogInfo("statsd: %@", hideNamespace(command));
}

void AFXStatsdClient::statsdClientDidFailToSendCommand(BRStatsdClient&, const QString& command,
                                                       std::int64_t error) {
    BRLogError("Did fail to send statsd: %@ with error %li", hideNamespace(command), error);
}
