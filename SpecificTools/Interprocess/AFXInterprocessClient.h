#pragma once

#include "AFXInterprocessClientDelegate.h"
#include "platform/XPCInterface.h"
#include "support/BRProactor.h"

#include <QString>

#include <chrono>
#include <memory>

// Makes connections to one service on demand. Concurrent fetches share one
// attempt (a proactor group runs at most one at a time); a failed attempt
// is tried once more after a pause; connections made are reported to the
// delegate, and so are their losses. A connection is not kept: every
// fetch after an attempt has ended starts a new one.
class AFXInterprocessClient : public BRProactorDelegate,
                              public std::enable_shared_from_this<AFXInterprocessClient> {
public:
    static const QString MakeXPCConnectionGroupID; // "makeXPCConnection"
    static const QString XPCConnectionOrErrorKey;  // "xpcConnectionOrError"
    static constexpr std::chrono::milliseconds DefaultRetryDelay{5000};

    // `retryDelay` is the pause before the second attempt.
    static std::shared_ptr<AFXInterprocessClient>
    makeWithRemoteObjectInterface(const platform::XPCInterface& remoteObjectInterface,
                                  const QString& tierName,
                                  std::weak_ptr<AFXInterprocessClientDelegate> delegate,
                                  std::chrono::milliseconds retryDelay = DefaultRetryDelay);

    std::shared_ptr<AFXInterprocessClientDelegate> delegate() const { return delegate_.lock(); }
    const platform::XPCInterface& remoteObjectInterface() const { return remoteObjectInterface_; }
    const QString& tierName() const { return tierName_; }
    const std::shared_ptr<BRProactor>& proactor() const { return proactor_; }

    // Calls back once, on the proactor's invocation queue, with a resumed
    // and set-up connection or an error.
    void fetchXPCConnectionWithCallback(AFXXPCConnectionCallback callback);

private:
    AFXInterprocessClient() = default;
    void makeProactor();
    void makeXPCConnectionWithAction(const std::shared_ptr<BRProactorAction>& action);
    void dispatchedMakeXPCConnectionCanRetry(bool canRetry, AFXXPCConnectionCallback callback);
    void dispatchedMakeXPCConnectionWithCallback(AFXXPCConnectionCallback callback);

    std::weak_ptr<AFXInterprocessClientDelegate> delegate_;
    platform::XPCInterface remoteObjectInterface_;
    QString tierName_;
    std::chrono::milliseconds retryDelay_{DefaultRetryDelay};
    std::shared_ptr<BRProactor> proactor_;
};
