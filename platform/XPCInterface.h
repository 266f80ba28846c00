#pragma once

#include "KeyedUnarchiver.h"

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

namespace platform {

// What may travel through one protocol: its selectors, how many arguments
// each takes, whether it has a reply block and with how many arguments,
// and for every argument and reply argument the classes allowed when it is
// read. Decoding on either end refuses anything outside these lists.
//
// A selector's lists start as the plain property-list classes
// (ValueClasses::propertyListClasses()) until set. A value type: build it
// once, then share it (connections keep a copy).
class XPCInterface {
public:
    using Classes = KeyedUnarchiver::Classes;

    explicit XPCInterface(const QString& protocolName = {});

    const QString& protocolName() const;

    // Declares a selector. `replyArgumentCount` is empty for a selector
    // without reply block; calls of those are one-way messages.
    void addSelector(const QString& selector, int argumentCount, std::optional<int> replyArgumentCount);

    bool hasSelector(const QString& selector) const;
    int argumentCount(const QString& selector) const;
    std::optional<int> replyArgumentCount(const QString& selector) const;

    // The classes allowed for argument `index` of `selector`, or of its
    // reply block when `ofReply`. The selector must have been added and the
    // index must be in range (assertion).
    void setClasses(const Classes& classes, const QString& selector, int index, bool ofReply);
    Classes classes(const QString& selector, int index, bool ofReply) const;

private:
    struct Selector {
        QList<Classes> arguments;
        std::optional<QList<Classes>> replyArguments;
    };
    QString protocolName_;
    QHash<QString, Selector> selectors_;
};

} // namespace platform
