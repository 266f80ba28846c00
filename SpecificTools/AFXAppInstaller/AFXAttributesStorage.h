#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QUrl>

// A snapshot of one item's extended attributes (name → value), to be laid
// onto another item later, as when a new copy of an app replaces the old.
class AFXAttributesStorage {
public:
    using AttributesByName = QMap<QString, QByteArray>;

    // The item's attributes now; none when they cannot be listed. An
    // attribute that vanishes or changes while it is read is left out.
    static AFXAttributesStorage storageForURL(const QUrl& url);
    static AFXAttributesStorage makeWithAttributesByName(AttributesByName attributesByName);

    const AttributesByName& attributesByName() const { return attributesByName_; }
    // Sets every stored attribute on the item; one that cannot be set is
    // skipped and the rest are still set.
    void setAttributesForURL(const QUrl& url) const;

private:
    explicit AFXAttributesStorage(AttributesByName attributesByName);

    AttributesByName attributesByName_;
};
