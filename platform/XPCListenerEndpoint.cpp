#include "XPCListenerEndpoint.h"

#include "KeyedArchiver.h"
#include "KeyedUnarchiver.h"
#include "Value.h"
#include "ValueClasses.h"

#include <QRegularExpression>

namespace platform {

const Class* XPCListenerEndpoint::staticClass() {
    // Archives name it as interfaces' class lists expect.
    static const Class* registered =
        Class::registerClass(QStringLiteral("NSXPCListenerEndpoint"), Object::staticClass(),
                             [] { return std::shared_ptr<Object>(new XPCListenerEndpoint); });
    return registered;
}

namespace {

const QString kUniqueBusNameKey = QStringLiteral("uniqueBusName");
const QString kObjectPathKey = QStringLiteral("objectPath");

bool isValidUniqueBusName(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^:[A-Za-z0-9_-]+(\\.[A-Za-z0-9_-]+)+$"));
    return name.size() <= 255 && pattern.match(name).hasMatch();
}

bool isValidObjectPath(const QString& path) {
    static const QRegularExpression pattern(QStringLiteral("^(/|(/[A-Za-z0-9_]+)+)$"));
    return pattern.match(path).hasMatch();
}

} // namespace

std::shared_ptr<XPCListenerEndpoint> XPCListenerEndpoint::make(const QString& uniqueBusName,
                                                               const QString& objectPath) {
    auto endpoint = std::shared_ptr<XPCListenerEndpoint>(new XPCListenerEndpoint);
    endpoint->uniqueBusName_ = uniqueBusName;
    endpoint->objectPath_ = objectPath;
    return endpoint;
}

const QString& XPCListenerEndpoint::uniqueBusName() const {
    return uniqueBusName_;
}

const QString& XPCListenerEndpoint::objectPath() const {
    return objectPath_;
}

bool XPCListenerEndpoint::isEqual(const Object& other) const {
    const auto* endpoint = dynamic_cast<const XPCListenerEndpoint*>(&other);
    return endpoint && endpoint->uniqueBusName_ == uniqueBusName_ && endpoint->objectPath_ == objectPath_;
}

std::uint64_t XPCListenerEndpoint::hash() const {
    return qHash(uniqueBusName_) ^ (qHash(objectPath_) * 31);
}

QString XPCListenerEndpoint::description() const {
    return QStringLiteral("<NSXPCListenerEndpoint: %1 %2>").arg(uniqueBusName_, objectPath_);
}

void XPCListenerEndpoint::encodeWithCoder(KeyedArchiver& coder) const {
    coder.encodeObject(Value(uniqueBusName_), kUniqueBusNameKey);
    coder.encodeObject(Value(objectPath_), kObjectPathKey);
}

bool XPCListenerEndpoint::initWithCoder(KeyedUnarchiver& coder) {
    const Value name = coder.decodeObjectOfClass(ValueClasses::string(), kUniqueBusNameKey);
    const Value path = coder.decodeObjectOfClass(ValueClasses::string(), kObjectPathKey);
    if (name.kind() != Value::Kind::String || path.kind() != Value::Kind::String ||
        !isValidUniqueBusName(name.toString()) || !isValidObjectPath(path.toString())) {
        return false;
    }
    uniqueBusName_ = name.toString();
    objectPath_ = path.toString();
    return true;
}

} // namespace platform
