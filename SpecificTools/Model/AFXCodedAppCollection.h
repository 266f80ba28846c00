#pragma once

#include "AFXCodedModelObject.h"

#include <QList>
#include <QString>

#include <cstdint>

// A named group of apps the store presents together.
class AFXCodedAppCollection : public AFXCodedModelObject {
    AFX_DECLARE_MODEL_CLASS(AFXCodedAppCollection)

public:
    AFXCodedAppCollection() = default;
    static std::shared_ptr<BRClassReflection> makeReflection();

    std::int64_t identifier() const { return identifier_; }
    void setIdentifier(std::int64_t identifier) { identifier_ = identifier; }
    QString name() const { return name_; }
    void setName(const QString& name) { name_ = name; }
    std::int64_t priority() const { return priority_; }
    void setPriority(std::int64_t priority) { priority_ = priority; }
    QString localizedName() const { return localizedName_; }
    void setLocalizedName(const QString& localizedName) { localizedName_ = localizedName; }
    // A set: no identifier twice, order without meaning.
    QList<std::int64_t> applicationIDs() const { return applicationIDs_; }
    void setApplicationIDs(const QList<std::int64_t>& applicationIDs) { applicationIDs_ = applicationIDs; }

    // Equal identifier, name and localized name.
    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override;
    // With the name, or the localized name when there is no name.
    QString description() const override;

private:
    std::int64_t identifier_ = 0;
    QString name_;
    std::int64_t priority_ = 0;
    QString localizedName_;
    QList<std::int64_t> applicationIDs_;
};
