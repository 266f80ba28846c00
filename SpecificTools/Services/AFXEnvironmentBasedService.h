#pragma once

#include <memory>

class AFXEnvironment;
class AFXEnvironmentID;

// A service of one environment (its class gives
// makeServiceIDToPokeWithNewEnvironment): the factory tells it of each
// environment applied, or of none when another one is current.
class AFXEnvironmentBasedService {
public:
    virtual ~AFXEnvironmentBasedService() = default;

    virtual std::shared_ptr<AFXEnvironmentID> environmentID() const = 0;
    virtual void updateEnvironment(const std::shared_ptr<AFXEnvironment>& environment) = 0;
};
