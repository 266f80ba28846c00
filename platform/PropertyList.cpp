#include "PropertyList.h"

#include "PlistDictionary.h"

#include <plist/plist.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

namespace platform {

namespace {

// Property-list dates count seconds from 2001-01-01 00:00:00 UTC.
constexpr qint64 kReferenceDateMSecs = 978307200000LL;

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

const QString kPropertyListErrorDomain = NSCocoaErrorDomain;
constexpr std::int64_t kReadCorruptError = 3840;
constexpr std::int64_t kWriteInvalidError = 3851;

Value fromNode(plist_t node, int depth, bool* ok) {
    if (depth > 512) {
        *ok = false;
        return {};
    }
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return Value(b != 0);
    }
    case PLIST_UINT: {
        // This format keeps 64 bits without a sign; values above the signed
        // range are negative numbers written as their two's complement.
        uint64_t u = 0;
        plist_get_uint_val(node, &u);
        return Value(static_cast<std::int64_t>(u));
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return Value(d);
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        char* s = nullptr;
        if (plist_get_node_type(node) == PLIST_STRING) {
            plist_get_string_val(node, &s);
        } else {
            plist_get_key_val(node, &s);
        }
        const QString text = QString::fromUtf8(s);
        std::free(s);
        return Value(text);
    }
    case PLIST_DATA: {
        char* bytes = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        const QByteArray data(bytes, static_cast<qsizetype>(length));
        std::free(bytes);
        return Value(data);
    }
    case PLIST_DATE: {
        int32_t sec = 0;
        int32_t usec = 0;
        plist_get_date_val(node, &sec, &usec);
        // The library answers the seconds cut toward zero and the size of the
        // fraction cut to the microsecond: round the fraction to our
        // milliseconds and give it the sign of the seconds.
        const qint64 fraction = qRound64(usec / 1000.0);
        const qint64 msecs =
            kReferenceDateMSecs + static_cast<qint64>(sec) * 1000 + (sec < 0 ? -fraction : fraction);
        return Value(QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC));
    }
    case PLIST_UID: {
        uint64_t uid = 0;
        plist_get_uid_val(node, &uid);
        return Value(uid);
    }
    case PLIST_ARRAY: {
        Value::Array elements;
        const uint32_t count = plist_array_get_size(node);
        elements.reserve(count);
        for (uint32_t i = 0; i < count && *ok; ++i) {
            elements.append(fromNode(plist_array_get_item(node, i), depth + 1, ok));
        }
        return Value(elements);
    }
    case PLIST_DICT: {
        Value::Dictionary entries;
        PlistDictionary::forEachEntry(node, [&](const char* key, plist_t item) {
            entries.insert(QString::fromUtf8(key), fromNode(item, depth + 1, ok));
            return *ok;
        });
        return Value(entries);
    }
    default:
        *ok = false;
        return {};
    }
}

plist_t toNode(const Value& value, QString* problem) {
    switch (value.kind()) {
    case Value::Kind::Bool:
        return plist_new_bool(value.toBool() ? 1 : 0);
    case Value::Kind::Integer:
    case Value::Kind::Unsigned:
        return plist_new_uint(value.toUnsigned());
    case Value::Kind::Double:
        return plist_new_real(value.toDouble());
    case Value::Kind::String:
        return plist_new_string(value.toString().toUtf8().constData());
    case Value::Kind::URL:
        return plist_new_string(value.toURL().toString(QUrl::FullyEncoded).toUtf8().constData());
    case Value::Kind::UUID:
        return plist_new_string(value.toUUID().toString(QUuid::WithoutBraces).toUpper().toUtf8().constData());
    case Value::Kind::Data: {
        const QByteArray data = value.toData();
        return plist_new_data(data.constData(), static_cast<uint64_t>(data.size()));
    }
    case Value::Kind::Date: {
        const qint64 msecs = value.toDate().toMSecsSinceEpoch() - kReferenceDateMSecs;
        const qint64 sec = static_cast<qint64>(std::floor(static_cast<double>(msecs) / 1000.0));
        if (sec < std::numeric_limits<int32_t>::min() || sec > std::numeric_limits<int32_t>::max()) {
            // The library keeps 32-bit seconds: refuse rather than write another date.
            *problem = value.description();
            return nullptr;
        }
        return plist_new_date(static_cast<int32_t>(sec), static_cast<int32_t>((msecs - sec * 1000) * 1000));
    }
    case Value::Kind::Array:
    case Value::Kind::Set: {
        plist_t array = plist_new_array();
        for (const Value& element : value.toArray()) {
            plist_t item = toNode(element, problem);
            if (!item) {
                plist_free(array);
                return nullptr;
            }
            plist_array_append_item(array, item);
        }
        return array;
    }
    case Value::Kind::Dictionary: {
        plist_t dict = plist_new_dict();
        const auto& entries = value.toDictionary();
        for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
            plist_t item = toNode(it.value(), problem);
            if (!item) {
                plist_free(dict);
                return nullptr;
            }
            plist_dict_set_item(dict, it.key().toUtf8().constData(), item);
        }
        return dict;
    }
    case Value::Kind::Null:
    case Value::Kind::Object:
    case Value::Kind::Error:
        *problem = value.description();
        return nullptr;
    }
    return nullptr;
}

} // namespace

std::optional<Value> PropertyList::read(const QByteArray& data, Error* error) {
    plist_t root = nullptr;
    if (!data.isEmpty() && data.size() < INT32_MAX) {
        plist_from_memory(data.constData(), static_cast<uint32_t>(data.size()), &root);
    }
    PlistPtr owner(root);
    bool ok = root != nullptr;
    Value value = ok ? fromNode(root, 0, &ok) : Value();
    if (!ok) {
        if (error) {
            *error = Error(
                kPropertyListErrorDomain, kReadCorruptError,
                {{NSLocalizedDescriptionKey,
                  QStringLiteral("The data couldn’t be read because it isn’t in the correct format.")}});
        }
        return std::nullopt;
    }
    return value;
}

std::optional<QByteArray> PropertyList::write(const Value& value, Format format, Error* error) {
    QString problem;
    PlistPtr root(toNode(value, &problem));
    if (!root) {
        if (error) {
            *error = Error(
                kPropertyListErrorDomain, kWriteInvalidError,
                {{NSLocalizedDescriptionKey,
                  QStringLiteral("Property list invalid for format: %1 cannot be written").arg(problem)}});
        }
        return std::nullopt;
    }
    char* bytes = nullptr;
    uint32_t length = 0;
    if (format == Format::XML) {
        plist_to_xml(root.get(), &bytes, &length);
    } else {
        plist_to_bin(root.get(), &bytes, &length);
    }
    QByteArray data(bytes, static_cast<qsizetype>(length));
    std::free(bytes);
    return data;
}

} // namespace platform
