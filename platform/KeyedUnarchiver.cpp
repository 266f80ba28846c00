#include "KeyedUnarchiver.h"

#include "KeyedArchiveFormat.h"
#include "Object.h"
#include "ValueClasses.h"

#include <QDateTime>
#include <QStringList>
#include <QUrl>
#include <QUuid>
#include <QtEndian>

namespace platform {

namespace {

QString describe(const KeyedUnarchiver::Classes& classes) {
    QStringList names;
    for (const Class* c : classes) {
        names << (c ? c->name() : QStringLiteral("(null)"));
    }
    return names.join(QStringLiteral(", "));
}

} // namespace

std::optional<Value> KeyedUnarchiver::unarchivedObjectOfClasses(const Classes& classes,
                                                                const QByteArray& data, Error* error) {
    KeyedUnarchiver unarchiver;
    QString problem;
    const std::optional<CBORTree> tree = CBORTree::read(data, MaximumDepth, &problem);
    if (!tree) {
        unarchiver.fail(problem);
    } else {
        unarchiver.tree_ = &*tree;
        Value value = unarchiver.decodeValue(CBORTree::Root, classes, QStringLiteral("root"));
        if (!unarchiver.error_) {
            return value;
        }
    }
    if (error) {
        *error = *unarchiver.error_;
    }
    return std::nullopt;
}

void KeyedUnarchiver::failWithError(const Error& error) {
    if (!error_) {
        error_ = error;
    }
}

Value KeyedUnarchiver::fail(const QString& description) {
    failWithError(KeyedArchiveFormat::codingError(description, KeyedArchiveFormat::CoderReadCorruptError));
    return {};
}

bool KeyedUnarchiver::containsValueForKey(const QString& key) const {
    return current_ && tree_->valueForKey(*current_, KeyedArchiveFormat::escapedKey(key)).has_value();
}

Value KeyedUnarchiver::decodeObjectOfClasses(const Classes& classes, const QString& key) {
    if (!current_ || error_) {
        return {};
    }
    const auto encoded = tree_->valueForKey(*current_, KeyedArchiveFormat::escapedKey(key));
    if (!encoded || tree_->item(*encoded).kind == CBORTree::Kind::Undefined) {
        return {};
    }
    return decodeValue(*encoded, classes, key);
}

bool KeyedUnarchiver::decodeBool(const QString& key) {
    return decodeObjectOfClass(ValueClasses::number(), key).toBool();
}

std::int64_t KeyedUnarchiver::decodeInteger(const QString& key) {
    return decodeObjectOfClass(ValueClasses::number(), key).toInteger();
}

double KeyedUnarchiver::decodeDouble(const QString& key) {
    return decodeObjectOfClass(ValueClasses::number(), key).toDouble();
}

bool KeyedUnarchiver::isAllowed(const Class* aClass, const Classes& allowed, const QString& key) {
    if (KeyedArchiveFormat::isAmong(aClass, allowed)) {
        return true;
    }
    fail(QStringLiteral(
             "The value for key \"%1\" is of class \"%2\", which is not among the allowed classes (%3)")
             .arg(key, aClass->name(), describe(allowed)));
    return false;
}

Value KeyedUnarchiver::decodeValue(std::uint32_t index, const Classes& allowed, const QString& key) {
    using namespace KeyedArchiveFormat;
    using Kind = CBORTree::Kind;
    if (error_) {
        return {};
    }
    const CBORTree::Item& item = tree_->item(index);
    Value value;
    switch (item.kind) {
    case Kind::Null:
        break;
    case Kind::False:
    case Kind::True:
        value = Value(item.kind == Kind::True);
        break;
    case Kind::Integer:
        value = Value(item.integer);
        break;
    case Kind::Double:
        value = Value(item.real);
        break;
    case Kind::Text:
        value = Value(tree_->text(index));
        break;
    case Kind::Bytes:
        value = Value(tree_->bytes(index).toByteArray());
        break;
    case Kind::Array:
        value = Value(decodeElements(index, allowed, key));
        break;
    case Kind::Map: {
        if (tree_->valueForKey(index, ClassKey)) {
            return decodeObjectMap(index, allowed, key);
        }
        Value::Dictionary entries;
        for (std::uint32_t entry = CBORTree::firstChild(index); entry != item.end;) {
            const std::uint32_t entryValue = tree_->next(entry);
            if (tree_->item(entry).kind != Kind::Text) {
                return fail(
                    QStringLiteral("A dictionary for key \"%1\" has a key that is not text").arg(key));
            }
            entries.insert(unescapedKey(tree_->text(entry)), decodeValue(entryValue, allowed, key));
            entry = tree_->next(entryValue);
        }
        value = Value(entries);
        break;
    }
    case Kind::Tag:
        value = decodeTagged(index, allowed, key);
        break;
    case Kind::Undefined:
        return fail(QStringLiteral("The value for key \"%1\" has a kind this archive does not use").arg(key));
    }
    if (error_) {
        return {};
    }
    return isAllowed(ValueClasses::classOf(value), allowed, key) ? value : Value();
}

Value::Array KeyedUnarchiver::decodeElements(std::uint32_t array, const Classes& allowed,
                                             const QString& key) {
    const CBORTree::Item& item = tree_->item(array);
    Value::Array elements;
    elements.reserve(item.count);
    for (std::uint32_t element = CBORTree::firstChild(array); element != item.end;
         element = tree_->next(element)) {
        elements.append(decodeValue(element, allowed, key));
    }
    return elements;
}

Value KeyedUnarchiver::decodeTagged(std::uint32_t index, const Classes& allowed, const QString& key) {
    using namespace KeyedArchiveFormat;
    using Kind = CBORTree::Kind;
    const std::uint64_t tag = tree_->item(index).tag;
    const std::uint32_t content = CBORTree::firstChild(index);
    const Kind contentKind = tree_->item(content).kind;
    if (tag == std::uint64_t(QCborKnownTags::DateTimeString) && contentKind == Kind::Text) {
        const QString text = tree_->text(content);
        const std::optional<QDateTime> written = dateFromText(text);
        const QDateTime date = written ? *written : QDateTime::fromString(text, Qt::ISODateWithMs);
        if (!date.isValid()) {
            return fail(QStringLiteral("The date for key \"%1\" is not valid").arg(key));
        }
        return Value(date);
    }
    if (tag == std::uint64_t(QCborKnownTags::Url) && contentKind == Kind::Text) {
        return Value(QUrl::fromEncoded(tree_->bytes(content).toByteArray()));
    }
    if (tag == std::uint64_t(QCborKnownTags::Uuid) && contentKind == Kind::Bytes &&
        tree_->bytes(content).size() == 16) {
        return Value(QUuid::fromRfc4122(tree_->bytes(content)));
    }
    if (tag == std::uint64_t(QCborKnownTags::PositiveBignum) && contentKind == Kind::Bytes &&
        tree_->bytes(content).size() == 8) {
        return Value(qFromBigEndian<quint64>(tree_->bytes(content).data()));
    }
    if (tag == std::uint64_t(SetTag) && contentKind == Kind::Array) {
        return Value::set(decodeElements(content, allowed, key));
    }
    return fail(QStringLiteral("The value for key \"%1\" has a kind this archive does not use").arg(key));
}

Value KeyedUnarchiver::decodeObjectMap(std::uint32_t map, const Classes& allowed, const QString& key) {
    using namespace KeyedArchiveFormat;
    const auto classNameItem = tree_->valueForKey(map, ClassKey);
    if (!classNameItem || tree_->item(*classNameItem).kind != CBORTree::Kind::Text) {
        return fail(QStringLiteral("The object for key \"%1\" has no class name").arg(key));
    }
    const QString className = tree_->text(*classNameItem);
    if (className == QLatin1String("NSError")) {
        return isAllowed(ValueClasses::error(), allowed, key) ? decodeError(map) : Value();
    }
    const Class* aClass = Class::named(className);
    if (!aClass) {
        return fail(
            QStringLiteral("The object for key \"%1\" is of an unknown class \"%2\"").arg(key, className));
    }
    if (!isAllowed(aClass, allowed, key)) {
        return {};
    }
    const auto object = aClass->make();
    if (!object || !object->supportsSecureCoding()) {
        return fail(QStringLiteral("Objects of class \"%1\" cannot be read securely").arg(aClass->name()));
    }
    const std::optional<std::uint32_t> outer = current_;
    current_ = map;
    const bool valid = object->initWithCoder(*this);
    current_ = outer;
    if (error_) {
        return {};
    }
    if (!valid) {
        return fail(QStringLiteral("The object for key \"%1\" of class \"%2\" is not valid")
                        .arg(key, aClass->name()));
    }
    return Value(object);
}

Value KeyedUnarchiver::decodeError(std::uint32_t map) {
    using namespace KeyedArchiveFormat;
    using Kind = CBORTree::Kind;
    const auto domain = tree_->valueForKey(map, ErrorDomainKey);
    const auto code = tree_->valueForKey(map, ErrorCodeKey);
    // An undefined user info counts as none. The optional is read once into
    // a plain index: GCC's -O2 wrongly warns that a copy of it may be read
    // uninitialised further down.
    const auto userInfoItem = tree_->valueForKey(map, ErrorUserInfoKey);
    const std::uint32_t userInfo = userInfoItem.value_or(CBORTree::Root);
    const bool hasUserInfo = userInfoItem && tree_->item(userInfo).kind != Kind::Undefined;
    if (!domain || tree_->item(*domain).kind != Kind::Text || !code ||
        tree_->item(*code).kind != Kind::Integer ||
        (hasUserInfo && tree_->item(userInfo).kind != Kind::Map)) {
        return fail(QStringLiteral("An archived error is malformed"));
    }
    const Value info = hasUserInfo
                           ? decodeValue(userInfo, KeyedArchiveFormat::userInfoClasses(), ErrorUserInfoKey)
                           : Value();
    if (error_) {
        return {};
    }
    return Value(Error(tree_->text(*domain), tree_->item(*code).integer, info.toDictionary()));
}

} // namespace platform
