#pragma once

#include "SpecificTools/Interprocess/AFXRecordField.h"
#include "SpecificTools/Model/AFXBaseModelObject.h"

#include <QString>

#include <optional>

// The texts of one key of the remote configuration, by language code.
class AFXLocalizationsContainer : public AFXBaseModelObject {
    AFX_DECLARE_RECORD(AFXLocalizationsContainer)
    AFX_RECORD_READONLY_FIELD(QString, key)
    // Language code → text.
    AFX_RECORD_READONLY_FIELD(platform::Value::Dictionary, stringsMap)

public:
    static std::shared_ptr<AFXLocalizationsContainer>
    makeWithKey(const QString& key, const platform::Value::Dictionary& stringsMap);

    // The text for the language, or none when the map has none.
    std::optional<QString> stringForLanguageCode(const QString& languageCode) const;

    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override;

private:
    AFXLocalizationsContainer() = default;
};
