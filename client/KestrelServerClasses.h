#pragma once

#include "SpecificTools/Services/AFXServiceClass.h"

#include <QList>

// The service classes the client's agent serves with: its own system
// management and apps management servers, and the framework's serving
// bases for the UI management, remote configuration and recommendations
// services.
QList<AFXServiceClass> KestrelServerClasses();
