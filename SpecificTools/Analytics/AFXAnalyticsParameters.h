#pragma once

#include <QString>

// Keys of the measurement parameters that describe one analytics hit.
inline const QString kCMAnalyticsHitTypeKey = QStringLiteral("t");
inline const QString kCMAnalyticsContentDescriptionKey = QStringLiteral("cd");
inline const QString kCMAnalyticsUniqueIdentifierKey = QStringLiteral("uid");
inline const QString kCMAnalyticsEventCategoryKey = QStringLiteral("ec");
inline const QString kCMAnalyticsEventActionKey = QStringLiteral("ea");
inline const QString kCMAnalyticsEventLabelKey = QStringLiteral("el");
inline const QString kCMAnalyticsEventValueKey = QStringLiteral("ev");
inline const QString kCMAnalyticsCustomDimensionUserKey = QStringLiteral("cd1");
inline const QString kCMAnalyticsCustomDimension2UserKey = QStringLiteral("cd2");
inline const QString kCMAnalyticsCustomDimension3UserKey = QStringLiteral("cd3");
inline const QString kCMAnalyticsCustomDimension4UserKey = QStringLiteral("cd4");
inline const QString kCMAnalyticsCustomDimension5UserKey = QStringLiteral("cd5");
inline const QString kCMAnalyticsUserTimingCategoryKey = QStringLiteral("utc");
inline const QString kCMAnalyticsUserTimingVariableKey = QStringLiteral("utv");
inline const QString kCMAnalyticsUserTimingTimeKey = QStringLiteral("utt");
inline const QString kCMAnalyticsUserTimingLabelKey = QStringLiteral("utl");
inline const QString kCMAnalyticsViewportSizeKey = QStringLiteral("vp");
inline const QString kCMAnalyticsNonInteractionKey = QStringLiteral("ni");
inline const QString kCMAnalyticsEventDataSourceKey = QStringLiteral("ds");

// Values of kCMAnalyticsHitTypeKey.
inline const QString kCMAnalyticsHitTypeEvent = QStringLiteral("event");
inline const QString kCMAnalyticsHitTypeTiming = QStringLiteral("timing");
inline const QString kCMAnalyticsHitTypeAppView = QStringLiteral("appview");
