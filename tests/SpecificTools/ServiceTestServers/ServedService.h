#pragma once

#include "SpecificTools/Interprocess/AFXRegularInterprocessServerAdaptor.h"
#include "SpecificTools/Interprocess/AFXServiceID.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class AFXBaseService;
class AFXServicesFactory;

// What a test server saw, told to whoever watches it: "seen" with the
// request's fields as text, "stream" with the stream a request came with.
using ServiceTestNote = std::function<void(const QString& kind, const QString& text)>;

// One of the five management services as the tests serve it from a
// process of its own (service_test_server): its ID and request classes,
// which its clients share, its test server, its server base offering
// nothing, and the test server's switches.
struct ServedService {
    using MakeServer = std::function<std::shared_ptr<AFXBaseService>(
        const std::shared_ptr<AFXRegularInterprocessServerAdaptor>&,
        const std::shared_ptr<AFXServicesFactory>&)>;

    QString name;
    std::shared_ptr<AFXServiceID> serviceID;
    QList<const platform::Class*> requestClasses;
    // The test server; `arguments` are those the program was given after the service's name.
    std::function<std::shared_ptr<AFXBaseService>(const std::shared_ptr<AFXRegularInterprocessServerAdaptor>&,
                                                  const std::shared_ptr<AFXServicesFactory>&,
                                                  const ServiceTestNote&, const QStringList& arguments)>
        makeTestServer;
    MakeServer makeServerBase;
    // Sets a switch of the test server ("fail", "hold", "release" with its
    // argument); false for a switch it does not have or that did not take.
    std::function<bool(AFXBaseService& server, const QString& name, const QString& argument)> control;

    // "system", "apps", "ui", "remote-configuration" or "recommendations";
    // null for another name.
    static const ServedService* named(const QString& name);
};
