#pragma once

#include "AFXBaseModelObject.h"

#include <QUrl>

#include <cstdint>
#include <memory>

// How an endpoint expects to be called: a needy endpoint wants the client's
// credentials and context with every request; a self-sufficient one does not.
enum AFXEndpointType : std::uint64_t {
    AFXEndpointTypeNeedy = 0,
    AFXEndpointTypeSelfSufficient = 1,
};

// One named endpoint of an environment: its base URL and type. Equal
// endpoints have equal URLs.
class AFXEndpoint : public AFXBaseModelObject {
    AFX_DECLARE_MODEL_CLASS(AFXEndpoint)

public:
    static std::shared_ptr<BRClassReflection> makeReflection();
    static std::shared_ptr<AFXEndpoint> makeWithType(std::uint64_t type, const QUrl& URL);

    std::uint64_t type() const { return type_; }
    QUrl URL() const { return URL_; }
    bool isNeedy() const { return type_ == AFXEndpointTypeNeedy; }
    bool isSelfSufficient() const { return type_ == AFXEndpointTypeSelfSufficient; }

    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override;
    QString description() const override;

private:
    AFXEndpoint() = default;
    void setType(std::uint64_t type) { type_ = type; }
    void setURL(const QUrl& URL) { URL_ = URL; }

    std::uint64_t type_ = AFXEndpointTypeNeedy;
    QUrl URL_;
};
