#include "AFXSignInWorkflow.h"

#include "platform/ValueClasses.h"

using platform::ValueClasses::error;
using platform::ValueClasses::number;

AFX_DEFINE_RECORD(AFXSignInWorkflow, AFXBaseMutableModelObject,
                  AFX_FIELD(customerID, {AFXCustomerID::staticClass()}), AFX_FIELD(state, {number()}),
                  AFX_FIELD(environment, {AFXEnvironment::staticClass()}),
                  AFX_FIELD(customer, {AFXCustomer::staticClass()}),
                  AFX_FIELD(environmentPreparationFractionCompleted, {number()}),
                  AFX_FIELD(runningApplication, {AFXRunningApplication::staticClass()}),
                  AFX_FIELD(presentationStyle, {number()}), AFX_FIELD(lastError, {error()}))
