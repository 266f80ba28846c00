#pragma once

#include "platform/ValueTransformer.h"

#include <QString>

#include <cstdint>

// The states of a customer's subscription, in memory, and their strings in
// archives and stored forms:
//   0 "undefined"     nothing known (also what an unknown string reads as)
//   1 "trial"         a trial period runs
//   2 "active"        paid and running
//   3 "grace_period"  payment is late; the grace period runs
//   4 "expired"       ended without renewal
//   5 "cancelled"     ended by the customer
enum AFXCustomerSubscriptionState : std::int64_t {
    AFXCustomerSubscriptionStateUndefined = 0,
    AFXCustomerSubscriptionStateTrial = 1,
    AFXCustomerSubscriptionStateActive = 2,
    AFXCustomerSubscriptionStateGracePeriod = 3,
    AFXCustomerSubscriptionStateExpired = 4,
    AFXCustomerSubscriptionStateCancelled = 5,
};

// Number (the state) → string, and back. A number outside the vocabulary
// writes as "undefined"; a string outside it (or no string) reads as 0.
class AFXCustomerSubscriptionStateValueTransformer : public platform::ValueTransformer {
public:
    platform::Value transformedValue(const platform::Value& value) const override;
    platform::Value reverseTransformedValue(const platform::Value& value) const override;

    static QString stringForState(std::int64_t state);
    static AFXCustomerSubscriptionState stateForString(const QString& string);
};
