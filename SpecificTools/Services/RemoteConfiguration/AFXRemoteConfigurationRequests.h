#pragma once

// The requests and responses of the remote configuration service, declared
// in the framework's compact record form.

#include "AFXRemoteConfiguration.h"
#include "SpecificTools/Interprocess/AFXInterprocessRequest.h"

#include <QList>

// The base of the family. A request's service ID is an environment service ID.
class AFXRemoteConfigurationRequest : public AFXInterprocessRequest {
    AFX_DECLARE_RECORD(AFXRemoteConfigurationRequest)
protected:
    AFXRemoteConfigurationRequest() = default;
};

class AFXFetchRemoteConfigurationResponse : public AFXInterprocessResponse {
    AFX_DECLARE_RECORD(AFXFetchRemoteConfigurationResponse)
    AFX_RECORD_FIELD(std::shared_ptr<AFXRemoteConfiguration>, remoteConfiguration, setRemoteConfiguration)
};
class AFXFetchRemoteConfigurationRequest : public AFXRemoteConfigurationRequest {
    AFX_DECLARE_RECORD(AFXFetchRemoteConfigurationRequest)
    AFX_REQUEST_RESPONDING_WITH(AFXFetchRemoteConfigurationResponse)
};

// The request classes of the service.
QList<const platform::Class*> AFXRemoteConfigurationRequestClasses();
