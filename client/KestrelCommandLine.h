#pragma once

#include "KestrelDiscoveryURL.h"

#include <QString>
#include <QStringList>

#include <optional>

// What one run of the client is asked to do, from its arguments:
//   -silentLaunch                        set up and start the agent, then end
//   -xpcServer                           be the agent
//   --sign-in EMAIL [--password P]       sign a customer in
//   --sign-out                           forget the signed-in customer
//   --uninstall                          remove the client and its agent
//   kestreldiscovery://open_collection?… show an app's page
struct KestrelCommandLine {
    enum class Mode { SilentLaunch, Server, SignIn, SignOut, Uninstall, OpenPage };

    static const QString Usage;
    // The password of the store's demonstration account.
    static const QString DefaultPassword; // "kestrel-demo"

    Mode mode = Mode::SilentLaunch;
    QString email;
    QString password;
    std::optional<KestrelDiscoveryURL> page;

    // None, with what is wrong in `problem`, for arguments that ask nothing
    // the client does (a malformed page URL among them).
    static std::optional<KestrelCommandLine> parse(const QStringList& arguments, QString* problem);
};
