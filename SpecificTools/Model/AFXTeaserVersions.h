#pragma once

#include <QString>

#include <cstdint>

// A teaser's version is "0.N"; old records carry only the number N.

// "0.N".
QString AFXTeaserVersionFromOldTeaserVersion(std::int64_t oldTeaserVersion);
// Of the string's "."-separated components, the last whose integer value is
// greater than zero, else 0.
std::int64_t AFXTeaserVersionToOldTeaserVersion(const QString& teaserVersion);
