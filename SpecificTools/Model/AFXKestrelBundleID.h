#pragma once

#include "platform/Object.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

enum AFXKestrelBundleIDKind : std::int64_t {
    // The store build's own bundle identifier.
    AFXKestrelBundleIDKindKestrel = 1,
    // Derived from it, such as that of a bundle nested in the app.
    AFXKestrelBundleIDKindDerived = 2,
    AFXKestrelBundleIDKindTeaser = 3,
};

// Reads a bundle identifier of an app distributed through the store: the
// last "-kestrel" in it (any case) marks it as one. Teaser identifiers
// ("com.kestrel.teaser.…") have no base; an identifier that ends with the
// mark is its own base; any other is cut after the mark and loses a leading
// ten-character team prefix ("ABCDE12345."), which gives its base. False
// for an identifier that is not a store one. Either out-parameter may be null.
bool AFXExtractKestrelBundleID(const QString& bundleID, QString* baseBundleID, AFXKestrelBundleIDKind* kind);

// A parsed store bundle identifier. Immutable; only the identifier itself
// is archived, the rest is parsed again on decoding.
class AFXKestrelBundleID : public platform::Object {
    PLATFORM_DECLARE_CLASS()

public:
    // None for a bundle identifier that is not a store one.
    static std::shared_ptr<AFXKestrelBundleID> makeWithBundleID(const QString& bundleID);

    QString bundleID() const { return bundleID_; }
    AFXKestrelBundleIDKind kind() const { return kind_; }
    // Empty for a teaser identifier.
    QString baseBundleID() const { return baseBundleID_; }
    // The identifier for a derived one, else none.
    std::optional<QString> derivedBundleID() const;
    // The identifier for a teaser one, else none.
    std::optional<QString> teaserBundleID() const;

    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override;

    bool supportsSecureCoding() const override { return true; }
    void encodeWithCoder(platform::KeyedArchiver& coder) const override;
    bool initWithCoder(platform::KeyedUnarchiver& coder) override;

private:
    AFXKestrelBundleID() = default;
    bool parse(const QString& bundleID);

    QString bundleID_;
    AFXKestrelBundleIDKind kind_ = AFXKestrelBundleIDKindKestrel;
    QString baseBundleID_;
};
