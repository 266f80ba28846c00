#pragma once

#include <QString>

// The framework's own product version, reported in metrics and analytics
// whatever application carries the framework.
inline const QString AFXProductVersion = QStringLiteral("1.9.8");
