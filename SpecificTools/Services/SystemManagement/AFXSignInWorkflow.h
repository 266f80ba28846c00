#pragma once

#include "AFXRunningApplication.h"
#include "SpecificTools/Interprocess/AFXRecordField.h"
#include "SpecificTools/Model/AFXBaseMutableModelObject.h"
#include "SpecificTools/Model/AFXCustomer.h"
#include "SpecificTools/Model/AFXCustomerID.h"
#include "SpecificTools/Model/AFXEnvironment.h"
#include "platform/Error.h"

#include <cstdint>
#include <memory>
#include <optional>

// Where a sign-in run by the desktop client stands: whom it signs in, the
// environment being prepared for them and how far that got, for which
// application and how it is shown, and the last failure.
class AFXSignInWorkflow : public AFXBaseMutableModelObject {
    AFX_DECLARE_RECORD(AFXSignInWorkflow)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCustomerID>, customerID, setCustomerID)
    AFX_RECORD_FIELD(std::int64_t, state, setState)
    AFX_RECORD_FIELD(std::shared_ptr<AFXEnvironment>, environment, setEnvironment)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCustomer>, customer, setCustomer)
    AFX_RECORD_FIELD(double, environmentPreparationFractionCompleted,
                     setEnvironmentPreparationFractionCompleted)
    AFX_RECORD_FIELD(std::shared_ptr<AFXRunningApplication>, runningApplication, setRunningApplication)
    AFX_RECORD_FIELD(std::int64_t, presentationStyle, setPresentationStyle)
    AFX_RECORD_FIELD(std::optional<platform::Error>, lastError, setLastError)

private:
    AFXSignInWorkflow() = default;
};
