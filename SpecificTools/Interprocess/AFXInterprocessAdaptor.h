#pragma once

#include <QString>

// Either end of one service's transport.
class AFXInterprocessAdaptor {
public:
    virtual ~AFXInterprocessAdaptor() = default;
    virtual QString serviceName() const = 0;
};
