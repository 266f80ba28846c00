#include "KestrelSignIn.h"

#include "KestrelWebRequest.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Model/AFXCustomer.h"
#include "SpecificTools/Model/AFXCustomerID.h"
#include "SpecificTools/Model/AFXCustomerSubscriptionStateValueTransformer.h"
#include "SpecificTools/Model/AFXEndpoint.h"
#include "SpecificTools/Model/AFXEndpointsManifest.h"
#include "SpecificTools/Model/AFXEnvironment.h"
#include "platform/JSONSerialization.h"

#include <QDateTime>

namespace {

const QString kSignInOperation = QStringLiteral("signing in");

std::optional<QString> nonEmptyString(const platform::Value& value) {
    // Identifiers may come as numbers too.
    if (value.kind() == platform::Value::Kind::Integer || value.kind() == platform::Value::Kind::Unsigned) {
        return QString::number(value.toInteger());
    }
    if (value.kind() != platform::Value::Kind::String || value.toString().isEmpty()) {
        return std::nullopt;
    }
    return value.toString();
}

platform::Error failure(std::int64_t code, const QString& description) {
    return platform::Error(AFXDefaultErrorDomain, code, {{platform::NSLocalizedDescriptionKey, description}});
}

} // namespace

std::shared_ptr<AFXCustomer> KestrelSignIn::customerFromAnswer(const platform::Value& answer,
                                                               const AFXEnvironment& environment) {
    const platform::Value data = answer[QStringLiteral("data")];
    const platform::Value attributes = data[QStringLiteral("attributes")];
    const auto backendID = nonEmptyString(data[QStringLiteral("id")]);
    const auto email = nonEmptyString(attributes[QStringLiteral("email")]);
    const auto token = nonEmptyString(attributes[QStringLiteral("token")]);
    const auto expiration = nonEmptyString(attributes[QStringLiteral("subscription_expiration_date")]);
    const QDateTime expirationDate =
        expiration ? QDateTime::fromString(*expiration, Qt::ISODate).toUTC() : QDateTime();
    if (!backendID || !email || !token || !expirationDate.isValid()) {
        return nullptr;
    }
    AFXCustomer::Fields fields;
    fields.identifier = AFXCustomerID::makeWithAccountName(*email, environment.identifier());
    fields.backendID = *backendID;
    fields.token = *token;
    fields.subscriptionState = AFXCustomerSubscriptionStateValueTransformer::stateForString(
        attributes[QStringLiteral("subscription_state")].toString());
    fields.subscriptionExpirationDate = expirationDate;
    return AFXCustomer::makeWithFields(std::move(fields));
}

BRValueOrError<std::shared_ptr<AFXCustomer>> KestrelSignIn::signInAndWait(const AFXEnvironment& environment,
                                                                          const QString& email,
                                                                          const QString& password,
                                                                          std::chrono::milliseconds timeout) {
    using Outcome = BRValueOrError<std::shared_ptr<AFXCustomer>>;
    const auto manifest = environment.endpointsManifest();
    const auto endpoint = manifest ? manifest->endpointForCustomerAPI() : nullptr;
    if (!endpoint) {
        return Outcome::makeWithError(afx_endpoinstManifestIsCorruptedWithKey(QStringLiteral("customer")));
    }
    const QUrl url = endpoint->URL().resolved(QUrl(QStringLiteral("sign-in")));
    const auto body = platform::JSONSerialization::write(platform::Value(platform::Value::Dictionary{
        {QStringLiteral("email"), email}, {QStringLiteral("password"), password}}));
    const KestrelWebResponse response = KestrelWebRequest::sendAndWait(
        KestrelWebRequest::makeJSONPost(url, body.value_or(QByteArray())), timeout);
    if (!response.isSuccess()) {
        return Outcome::makeWithError(failure(
            response.error ? AFXErrorCodeNetwork : AFXErrorCodeCustomerBadRequest, response.problem()));
    }
    const auto answer = platform::JSONSerialization::read(response.body);
    const auto customer = answer ? customerFromAnswer(*answer, environment) : nullptr;
    if (!customer) {
        return Outcome::makeWithError(afx_makeServerResponseParsingErrorOnOperation(
            kSignInOperation, failure(AFXErrorCodeServerResponseParsing,
                                      QStringLiteral("The sign-in answer holds no customer."))));
    }
    return Outcome::makeWithValue(customer);
}
