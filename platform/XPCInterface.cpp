#include "XPCInterface.h"

#include "ValueClasses.h"

namespace platform {

XPCInterface::XPCInterface(const QString& protocolName) : protocolName_(protocolName) {}

const QString& XPCInterface::protocolName() const {
    return protocolName_;
}

void XPCInterface::addSelector(const QString& selector, int argumentCount,
                               std::optional<int> replyArgumentCount) {
    Q_ASSERT(argumentCount >= 0 && replyArgumentCount.value_or(0) >= 0);
    const Classes plain = ValueClasses::propertyListClasses();
    Selector entry;
    entry.arguments = QList<Classes>(argumentCount, plain);
    if (replyArgumentCount) {
        entry.replyArguments = QList<Classes>(*replyArgumentCount, plain);
    }
    selectors_.insert(selector, std::move(entry));
}

bool XPCInterface::hasSelector(const QString& selector) const {
    return selectors_.contains(selector);
}

int XPCInterface::argumentCount(const QString& selector) const {
    const auto it = selectors_.constFind(selector);
    return it == selectors_.cend() ? 0 : static_cast<int>(it->arguments.size());
}

std::optional<int> XPCInterface::replyArgumentCount(const QString& selector) const {
    const auto it = selectors_.constFind(selector);
    if (it == selectors_.cend() || !it->replyArguments) {
        return std::nullopt;
    }
    return static_cast<int>(it->replyArguments->size());
}

void XPCInterface::setClasses(const Classes& classes, const QString& selector, int index, bool ofReply) {
    const auto it = selectors_.find(selector);
    Q_ASSERT(it != selectors_.end());
    QList<Classes>* lists = ofReply ? (it->replyArguments ? &*it->replyArguments : nullptr) : &it->arguments;
    Q_ASSERT(lists && index >= 0 && index < lists->size());
    (*lists)[index] = classes;
}

XPCInterface::Classes XPCInterface::classes(const QString& selector, int index, bool ofReply) const {
    const auto it = selectors_.constFind(selector);
    Q_ASSERT(it != selectors_.cend());
    const QList<Classes>* lists =
        ofReply ? (it->replyArguments ? &*it->replyArguments : nullptr) : &it->arguments;
    Q_ASSERT(lists && index >= 0 && index < lists->size());
    return lists->at(index);
}

} // namespace platform
