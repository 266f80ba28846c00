#pragma once

#include "AFXLocalizationsContainer.h"
#include "SpecificTools/Interprocess/AFXRecordField.h"
#include "SpecificTools/Model/AFXBaseModelObject.h"

#include <QList>
#include <QString>

#include <memory>
#include <optional>

// An environment's remote configuration as the desktop client keeps it: a
// version and free-form settings carrying server-side switches and
// localised texts.
class AFXRemoteConfiguration : public AFXBaseModelObject {
    AFX_DECLARE_RECORD(AFXRemoteConfiguration)
    AFX_RECORD_READONLY_FIELD(QString, version)
    // Values are arrays, localisation containers, numbers and strings.
    AFX_RECORD_READONLY_FIELD(platform::Value::Dictionary, settingsContainer)

public:
    static std::shared_ptr<AFXRemoteConfiguration>
    makeWithVersion(const QString& version, const platform::Value::Dictionary& configurationSettings);

    // "localization_containers": its containers, none when it is not an array.
    QList<std::shared_ptr<AFXLocalizationsContainer>> localizationContainers() const;
    // The text of the first container of the key in this process's first
    // preferred localisation ("en" when there is none); none when there is
    // no such container or it has no text in that language.
    std::optional<QString> localizedStringForKey(const QString& key) const;
    // "should_show_referal_2.0_button"; false unless it is a number.
    bool shouldShowReferal2Button() const;

    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override;

private:
    AFXRemoteConfiguration() = default;
};
