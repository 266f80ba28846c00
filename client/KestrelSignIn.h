#pragma once

#include "platform/Value.h"
#include "support/BRValueOrError.h"

#include <QString>

#include <chrono>
#include <memory>

class AFXCustomer;
class AFXEnvironment;

// Signs a customer in through the environment's customer API: a POST of
// {"email", "password"} to its "sign-in" address, answered with the
// customer's record and a fresh token.
class KestrelSignIn {
public:
    static BRValueOrError<std::shared_ptr<AFXCustomer>> signInAndWait(const AFXEnvironment& environment,
                                                                      const QString& email,
                                                                      const QString& password,
                                                                      std::chrono::milliseconds timeout);

    // The customer of a sign-in answer,
    //   {"data": {"id": …, "attributes": {"email", "token", "subscription_state",
    //                                      "subscription_expiration_date"}}},
    // as a customer of the environment; none unless the id, e-mail, token
    // and expiration date are there.
    static std::shared_ptr<AFXCustomer> customerFromAnswer(const platform::Value& answer,
                                                           const AFXEnvironment& environment);
};
