#pragma once

#include "AFXBaseModelObject.h"
#include "AFXCustomerID.h"

#include <QByteArray>
#include <QString>

#include <memory>

// How an account presents itself: its name and picture. The model has no
// image type yet, so `image` holds the picture's encoded bytes (PNG, JPEG, …)
// and travels as data.
class AFXCustomerIdentity : public AFXBaseModelObject {
    AFX_DECLARE_MODEL_CLASS(AFXCustomerIdentity)

public:
    static std::shared_ptr<BRClassReflection> makeReflection();
    static std::shared_ptr<AFXCustomerIdentity>
    makeWithCustomerID(const std::shared_ptr<AFXCustomerID>& customerID, const QString& name,
                       const QByteArray& image);

    std::shared_ptr<AFXCustomerID> customerID() const { return customerID_; }
    QString name() const { return name_; }
    QByteArray image() const { return image_; }

private:
    AFXCustomerIdentity() = default;
    bool isValidAfterDecoding() const override { return customerID_ != nullptr; }
    void setCustomerID(const std::shared_ptr<AFXCustomerID>& v) { customerID_ = v; }
    void setName(const QString& v) { name_ = v; }
    void setImage(const QByteArray& v) { image_ = v; }

    std::shared_ptr<AFXCustomerID> customerID_;
    QString name_;
    QByteArray image_;
};
