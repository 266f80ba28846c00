#pragma once

#include "Value.h"

#include <QString>

#include <utility>

namespace platform {

// A notification as its observers receive it: a name, the string naming the
// object it is about (empty when it names none) and user info made of
// property-list values. An immutable value.
class Notification {
public:
    explicit Notification(QString name, QString object = {}, Value::Dictionary userInfo = {})
        : name_(std::move(name)), object_(std::move(object)), userInfo_(std::move(userInfo)) {}

    const QString& name() const { return name_; }
    const QString& object() const { return object_; }
    const Value::Dictionary& userInfo() const { return userInfo_; }

    bool operator==(const Notification& other) const = default;

private:
    QString name_;
    QString object_;
    Value::Dictionary userInfo_;
};

} // namespace platform
