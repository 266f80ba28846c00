#include "Value.h"

#include "BooleanText.h"
#include "Error.h"
#include "Hash.h"
#include "Object.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

namespace platform {

namespace {

enum HashTag : std::uint64_t {
    NullTag = 1,
    NumberTag,
    StringTag,
    DataTag,
    DateTag,
    URLTag,
    UUIDTag,
    ArrayTag,
    SetTag,
    DictionaryTag,
};

const Value::Array& emptyArray() {
    static const auto* empty = new Value::Array;
    return *empty;
}

const Value::Dictionary& emptyDictionary() {
    static const auto* empty = new Value::Dictionary;
    return *empty;
}

QString indent(int depth) {
    return QString(depth * 4, QLatin1Char(' '));
}

// Strings that need no quoting in descriptions, as the platform prints them.
bool isPlainWord(const QString& text) {
    if (text.isEmpty()) {
        return false;
    }
    for (const QChar c : text) {
        if (!(c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('.') ||
              c == QLatin1Char('-'))) {
            return false;
        }
    }
    return true;
}

// The integer a double holds exactly, as a sign and the two's-complement bits
// integers hash by; nothing for fractions, infinities, NaN and magnitudes
// beyond the 64-bit integers.
std::optional<std::pair<bool, std::uint64_t>> exactInteger(double d) {
    if (!(d == std::floor(d)) || d < -9223372036854775808.0 || d >= 18446744073709551616.0) {
        return std::nullopt;
    }
    if (d < 0) {
        return std::make_pair(true, static_cast<std::uint64_t>(static_cast<std::int64_t>(d)));
    }
    return std::make_pair(false, static_cast<std::uint64_t>(d));
}

QString quotedIfNeeded(const QString& text) {
    if (isPlainWord(text)) {
        return text;
    }
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('"'), QStringLiteral("\\\""));
    escaped.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

} // namespace

Value::Value(const QDateTime& value) : kind_(Kind::Date) {
    storage_ = QDateTime::fromMSecsSinceEpoch(value.toMSecsSinceEpoch(), Qt::UTC);
}

Value::Value(const Array& value) : kind_(Kind::Array), storage_(std::make_shared<const Array>(value)) {}

Value::Value(const QStringList& value) : kind_(Kind::Array) {
    Array elements;
    elements.reserve(value.size());
    for (const QString& s : value) {
        elements.append(s);
    }
    storage_ = std::make_shared<const Array>(std::move(elements));
}

Value::Value(const Dictionary& value)
    : kind_(Kind::Dictionary), storage_(std::make_shared<const Dictionary>(value)) {}

Value::Value(std::shared_ptr<Object> value) {
    if (value) {
        kind_ = Kind::Object;
        storage_ = std::move(value);
    }
}

Value::Value(const Error& value) : kind_(Kind::Error), storage_(std::make_shared<const Error>(value)) {}

Value Value::set(const Array& elements) {
    // Equal values hash equal, so only elements with the same hash need
    // comparing; sorted by hash and position, they meet in runs, each in
    // the order the elements came.
    const auto count = static_cast<std::size_t>(elements.size());
    std::vector<std::pair<std::uint64_t, qsizetype>> hashes;
    hashes.reserve(count);
    for (qsizetype i = 0; i < elements.size(); ++i) {
        hashes.emplace_back(elements[i].hash(), i);
    }
    std::sort(hashes.begin(), hashes.end());
    std::vector<bool> duplicate(count, false);
    bool anyDuplicate = false;
    for (std::size_t run = 0; run < count;) {
        std::size_t end = run + 1;
        while (end < count && hashes[end].first == hashes[run].first) {
            ++end;
        }
        for (std::size_t later = run + 1; later < end; ++later) {
            const qsizetype candidate = hashes[later].second;
            for (std::size_t earlier = run; earlier < later; ++earlier) {
                const qsizetype kept = hashes[earlier].second;
                if (!duplicate[static_cast<std::size_t>(kept)] && elements[kept] == elements[candidate]) {
                    duplicate[static_cast<std::size_t>(candidate)] = true;
                    anyDuplicate = true;
                    break;
                }
            }
        }
        run = end;
    }
    Array distinct;
    if (!anyDuplicate) {
        distinct = elements;
    } else {
        distinct.reserve(elements.size());
        for (qsizetype i = 0; i < elements.size(); ++i) {
            if (!duplicate[static_cast<std::size_t>(i)]) {
                distinct.append(elements[i]);
            }
        }
    }
    Value result(distinct);
    result.kind_ = Kind::Set;
    return result;
}

bool Value::isNumber() const {
    return kind_ == Kind::Bool || kind_ == Kind::Integer || kind_ == Kind::Unsigned || kind_ == Kind::Double;
}

bool Value::toBool() const {
    switch (kind_) {
    case Kind::Bool:
        return std::get<bool>(storage_);
    case Kind::Integer:
        return std::get<std::int64_t>(storage_) != 0;
    case Kind::Unsigned:
        return std::get<std::uint64_t>(storage_) != 0;
    case Kind::Double:
        return std::get<double>(storage_) != 0.0;
    case Kind::String: {
        // Preferences hold booleans written as text too, as the platform reads them.
        return BooleanText::isTrue(std::get<QString>(storage_).trimmed().toStdString());
    }
    default:
        return false;
    }
}

std::int64_t Value::toInteger() const {
    switch (kind_) {
    case Kind::Bool:
        return std::get<bool>(storage_) ? 1 : 0;
    case Kind::Integer:
        return std::get<std::int64_t>(storage_);
    case Kind::Unsigned:
        return static_cast<std::int64_t>(std::get<std::uint64_t>(storage_));
    case Kind::Double: {
        const double d = std::get<double>(storage_);
        if (std::isnan(d)) {
            return 0;
        }
        if (d >= 9.2233720368547758e18) {
            return std::numeric_limits<std::int64_t>::max();
        }
        if (d <= -9.2233720368547758e18) {
            return std::numeric_limits<std::int64_t>::min();
        }
        return static_cast<std::int64_t>(d);
    }
    case Kind::String:
        return std::get<QString>(storage_).trimmed().toLongLong();
    default:
        return 0;
    }
}

std::uint64_t Value::toUnsigned() const {
    if (kind_ == Kind::Unsigned) {
        return std::get<std::uint64_t>(storage_);
    }
    return static_cast<std::uint64_t>(toInteger());
}

double Value::toDouble() const {
    switch (kind_) {
    case Kind::Bool:
        return std::get<bool>(storage_) ? 1.0 : 0.0;
    case Kind::Integer:
        return static_cast<double>(std::get<std::int64_t>(storage_));
    case Kind::Unsigned:
        return static_cast<double>(std::get<std::uint64_t>(storage_));
    case Kind::Double:
        return std::get<double>(storage_);
    case Kind::String:
        return std::get<QString>(storage_).trimmed().toDouble();
    default:
        return 0.0;
    }
}

QString Value::toString() const {
    return kind_ == Kind::String ? std::get<QString>(storage_) : QString();
}

QByteArray Value::toData() const {
    return kind_ == Kind::Data ? std::get<QByteArray>(storage_) : QByteArray();
}

QDateTime Value::toDate() const {
    return kind_ == Kind::Date ? std::get<QDateTime>(storage_) : QDateTime();
}

QUrl Value::toURL() const {
    return kind_ == Kind::URL ? std::get<QUrl>(storage_) : QUrl();
}

QUuid Value::toUUID() const {
    return kind_ == Kind::UUID ? std::get<QUuid>(storage_) : QUuid();
}

const Value::Array& Value::toArray() const {
    if (kind_ == Kind::Array || kind_ == Kind::Set) {
        return *std::get<std::shared_ptr<const Array>>(storage_);
    }
    return emptyArray();
}

QStringList Value::toStringList() const {
    QStringList strings;
    for (const Value& element : toArray()) {
        if (element.kind_ == Kind::String) {
            strings << element.toString();
        }
    }
    return strings;
}

const Value::Dictionary& Value::toDictionary() const {
    if (kind_ == Kind::Dictionary) {
        return *std::get<std::shared_ptr<const Dictionary>>(storage_);
    }
    return emptyDictionary();
}

std::shared_ptr<Object> Value::toObject() const {
    return kind_ == Kind::Object ? std::get<std::shared_ptr<Object>>(storage_) : nullptr;
}

const Error* Value::toError() const {
    return kind_ == Kind::Error ? std::get<std::shared_ptr<const Error>>(storage_).get() : nullptr;
}

Value Value::operator[](const QString& key) const {
    return toDictionary().value(key);
}

bool Value::contains(const QString& key) const {
    return toDictionary().contains(key);
}

bool Value::operator==(const Value& other) const {
    if (isNumber() && other.isNumber()) {
        if (kind_ == Kind::Double && other.kind_ == Kind::Double) {
            return toDouble() == other.toDouble();
        }
        if (kind_ == Kind::Double || other.kind_ == Kind::Double) {
            // Exactly: a double equals an integer only when it is that very
            // integer, so that equality stays transitive and agrees with `hash`.
            const Value& real = kind_ == Kind::Double ? *this : other;
            const Value& integer = kind_ == Kind::Double ? other : *this;
            const auto exact = exactInteger(real.toDouble());
            const bool integerNegative = integer.kind_ != Kind::Unsigned && integer.toInteger() < 0;
            return exact && exact->first == integerNegative && exact->second == integer.toUnsigned();
        }
        // Integers compare exactly, whatever their signedness.
        const bool negative = kind_ != Kind::Unsigned && toInteger() < 0;
        const bool otherNegative = other.kind_ != Kind::Unsigned && other.toInteger() < 0;
        return negative == otherNegative && toUnsigned() == other.toUnsigned();
    }
    if (kind_ != other.kind_) {
        return false;
    }
    switch (kind_) {
    case Kind::Null:
        return true;
    case Kind::String:
        return std::get<QString>(storage_) == std::get<QString>(other.storage_);
    case Kind::Data:
        return std::get<QByteArray>(storage_) == std::get<QByteArray>(other.storage_);
    case Kind::Date:
        return toDate().toMSecsSinceEpoch() == other.toDate().toMSecsSinceEpoch();
    case Kind::URL:
        return toURL() == other.toURL();
    case Kind::UUID:
        return toUUID() == other.toUUID();
    case Kind::Array:
        return toArray() == other.toArray();
    case Kind::Set: {
        if (toArray().size() != other.toArray().size()) {
            return false;
        }
        for (const Value& element : toArray()) {
            if (!other.toArray().contains(element)) {
                return false;
            }
        }
        return true;
    }
    case Kind::Dictionary:
        return toDictionary() == other.toDictionary();
    case Kind::Object: {
        const auto& mine = std::get<std::shared_ptr<Object>>(storage_);
        const auto& theirs = std::get<std::shared_ptr<Object>>(other.storage_);
        return mine == theirs || mine->isEqual(*theirs);
    }
    case Kind::Error:
        return *toError() == *other.toError();
    default:
        return false;
    }
}

std::uint64_t Value::hash() const {
    switch (kind_) {
    case Kind::Null:
        return Hash::combine(NullTag, 0);
    case Kind::Bool:
    case Kind::Integer:
    case Kind::Unsigned:
    case Kind::Double: {
        // Numbers that compare equal hash equal: integral values hash as integers.
        if (kind_ == Kind::Double) {
            const double d = toDouble();
            if (const auto exact = exactInteger(d)) {
                return Hash::combine(NumberTag, exact->second);
            }
            std::uint64_t bits;
            static_assert(sizeof bits == sizeof d);
            std::memcpy(&bits, &d, sizeof bits);
            return Hash::combine(NumberTag, bits);
        }
        return Hash::combine(NumberTag, toUnsigned());
    }
    case Kind::String:
        return Hash::combine(StringTag, Hash::string(toString()));
    case Kind::Data:
        return Hash::combine(DataTag, Hash::bytes(toData()));
    case Kind::Date:
        return Hash::combine(DateTag, static_cast<std::uint64_t>(toDate().toMSecsSinceEpoch()));
    case Kind::URL:
        return Hash::combine(URLTag, Hash::bytes(toURL().toEncoded()));
    case Kind::UUID:
        return Hash::combine(UUIDTag, Hash::bytes(toUUID().toRfc4122()));
    case Kind::Array: {
        std::uint64_t h = Hash::combine(ArrayTag, static_cast<std::uint64_t>(toArray().size()));
        for (const Value& element : toArray()) {
            h = Hash::combine(h, element.hash());
        }
        return h;
    }
    case Kind::Set: {
        // Order-independent: a sum of the elements' hashes.
        std::uint64_t sum = 0;
        for (const Value& element : toArray()) {
            sum += element.hash();
        }
        return Hash::combine(Hash::combine(SetTag, static_cast<std::uint64_t>(toArray().size())), sum);
    }
    case Kind::Dictionary: {
        std::uint64_t h = Hash::combine(DictionaryTag, static_cast<std::uint64_t>(toDictionary().size()));
        for (auto it = toDictionary().cbegin(); it != toDictionary().cend(); ++it) {
            h = Hash::combine(Hash::combine(h, Hash::string(it.key())), it.value().hash());
        }
        return h;
    }
    case Kind::Object:
        return toObject()->hash();
    case Kind::Error:
        return toError()->hash();
    }
    return 0;
}

QString Value::description() const {
    return descriptionIndented(0);
}

QString Value::descriptionIndented(int depth) const {
    switch (kind_) {
    case Kind::Null:
        return QStringLiteral("<null>");
    case Kind::Bool:
        return std::get<bool>(storage_) ? QStringLiteral("1") : QStringLiteral("0");
    case Kind::Integer:
        return QString::number(std::get<std::int64_t>(storage_));
    case Kind::Unsigned:
        return QString::number(std::get<std::uint64_t>(storage_));
    case Kind::Double:
        return QString::number(std::get<double>(storage_), 'g', QLocale::FloatingPointShortest);
    case Kind::String:
        return toString();
    case Kind::Data: {
        const QByteArray data = toData();
        return QStringLiteral("{length = %1, bytes = 0x%2}")
            .arg(data.size())
            .arg(QString::fromLatin1(data.left(32).toHex()) +
                 (data.size() > 32 ? QStringLiteral("...") : QString()));
    }
    case Kind::Date:
        return toDate().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" +0000");
    case Kind::URL:
        return toURL().toString(QUrl::FullyEncoded);
    case Kind::UUID:
        return toUUID().toString(QUuid::WithoutBraces).toUpper();
    case Kind::Array:
    case Kind::Set: {
        if (toArray().isEmpty()) {
            return kind_ == Kind::Array ? QStringLiteral("(\n%1)").arg(indent(depth))
                                        : QStringLiteral("{(\n%1)}").arg(indent(depth));
        }
        QStringList lines;
        for (const Value& element : toArray()) {
            const QString text = element.kind_ == Kind::String ? quotedIfNeeded(element.toString())
                                                               : element.descriptionIndented(depth + 1);
            lines << indent(depth + 1) + text;
        }
        const QString body = lines.join(QStringLiteral(",\n"));
        return kind_ == Kind::Array ? QStringLiteral("(\n%1\n%2)").arg(body, indent(depth))
                                    : QStringLiteral("{(\n%1\n%2)}").arg(body, indent(depth));
    }
    case Kind::Dictionary: {
        QString text = QStringLiteral("{\n");
        for (auto it = toDictionary().cbegin(); it != toDictionary().cend(); ++it) {
            const QString valueText = it.value().kind_ == Kind::String
                                          ? quotedIfNeeded(it.value().toString())
                                          : it.value().descriptionIndented(depth + 1);
            text += indent(depth + 1) + quotedIfNeeded(it.key()) + QStringLiteral(" = ") + valueText +
                    QStringLiteral(";\n");
        }
        return text + indent(depth) + QLatin1Char('}');
    }
    case Kind::Object:
        return toObject()->description();
    case Kind::Error:
        return toError()->description();
    }
    return {};
}

Value Value::copy() const {
    switch (kind_) {
    case Kind::Object:
        return Value(toObject()->copy());
    case Kind::Array:
    case Kind::Set: {
        Array elements;
        elements.reserve(toArray().size());
        for (const Value& element : toArray()) {
            elements.append(element.copy());
        }
        Value result(elements);
        result.kind_ = kind_;
        return result;
    }
    case Kind::Dictionary: {
        Dictionary entries;
        for (auto it = toDictionary().cbegin(); it != toDictionary().cend(); ++it) {
            entries.insert(it.key(), it.value().copy());
        }
        return Value(entries);
    }
    default:
        return *this;
    }
}

} // namespace platform
