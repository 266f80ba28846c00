#pragma once

#include "platform/Class.h"
#include "platform/XPCInterface.h"

#include <QList>

// The two interfaces of one service, built from the service's request
// classes: what may travel to the service (its requests; replies of their
// response classes) and back over the reporting stream (the report classes
// of those requests that have one).
platform::XPCInterface
interprocessInterfaceWithRequestClasses(const QList<const platform::Class*>& requestClasses);
platform::XPCInterface
reportsStreamInterfaceWithRequestClasses(const QList<const platform::Class*>& requestClasses);
