#include "ToolRun.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"
#include "testing/SessionBusProcess.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QFile>

#include <csignal>

using testing_support::readFile;
using testing_support::SessionBusProcess;
using testing_support::testRoot;
using testing_support::ToolRun;
using testing_support::waitUntil;
using testing_support::writeFile;

namespace {

const QString kLabel = QStringLiteral("com.kestrel.test.Agent");
const QString kService = QStringLiteral("com.kestrel.test.AgentService");
const QString kSecondService = QStringLiteral("com.kestrel.test.SecondAgentService");

ToolRun launchctl(const QStringList& arguments) {
    return ToolRun::run(ToolRun::standIn(QStringLiteral("launchctl")), arguments);
}

QString writeAgentPlist(platform::Value::Dictionary plist) {
    const QString path = testRoot() + QStringLiteral("/home/Library/LaunchAgents/") + kLabel + ".plist";
    const auto data =
        platform::PropertyList::write(platform::Value(plist), platform::PropertyList::Format::XML);
    EXPECT_TRUE(data && writeFile(path, *data));
    return path;
}

platform::Value::Dictionary agentPlist(bool runAtLoad) {
    return {
        {QStringLiteral("Label"), kLabel},
        {QStringLiteral("ProgramArguments"),
         platform::Value(QStringList{QStringLiteral(KESTREL_BUS_AGENT), kService, kSecondService,
                                     QStringLiteral("--note=it's quoted")})},
        {QStringLiteral("MachServices"),
         platform::Value::Dictionary{{kService, true}, {kSecondService, true}}},
        {QStringLiteral("RunAtLoad"), runAtLoad},
    };
}

// The process serving `name` on the test's bus, or 0.
pid_t owner(const QString& address, const QString& name) {
    QDBusConnection bus = QDBusConnection::connectToBus(address, address);
    const QDBusReply<uint> pid = bus.interface()->servicePid(name);
    return pid.isValid() ? static_cast<pid_t>(pid.value()) : 0;
}

// A message to the name, which the bus answers by starting its program.
bool ping(const QString& address, const QString& name) {
    QDBusConnection bus = QDBusConnection::connectToBus(address, address);
    const QDBusMessage reply = bus.call(QDBusMessage::createMethodCall(
        name, QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")));
    return reply.type() == QDBusMessage::ReplyMessage;
}

// Running, and not merely waiting to be collected.
bool isRunning(pid_t pid) {
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype end = stat.lastIndexOf(')');
    return end > 0 && stat.size() > end + 2 && stat[end + 2] != 'Z';
}

} // namespace

TEST(Launchctl, LoadsAnAgentTheBusStartsOnDemandAndAgainAfterItDied) {
    const auto bus = SessionBusProcess::start();
    ASSERT_TRUE(bus);
    const QString plist = writeAgentPlist(agentPlist(false));

    const ToolRun load = launchctl({QStringLiteral("load"), QStringLiteral("-wF"), plist});
    ASSERT_EQ(load.status, 0) << load.errors.toStdString();
    const QByteArray serviceFile =
        readFile(platform::Paths::busServicesDirectory() + QLatin1Char('/') + kService + ".service");
    EXPECT_EQ(serviceFile.toStdString(),
              QStringLiteral("[D-BUS Service]\nName=%1\nExec='%2' '%1' '%3' '--note=it'\\\\''s quoted'\n")
                  .arg(kService, QStringLiteral(KESTREL_BUS_AGENT), kSecondService)
                  .toStdString());
    // The further name starts the agent through the first.
    EXPECT_EQ(
        readFile(platform::Paths::busServicesDirectory() + QLatin1Char('/') + kSecondService + ".service")
            .toStdString(),
        QStringLiteral("[D-BUS Service]\nName=%1\nExec='%2' 'bus-activate' '%3' '%1'\n")
            .arg(kSecondService, ToolRun::standIn(QStringLiteral("launchctl")), kService)
            .toStdString());
    EXPECT_EQ(owner(bus->address(), kService), 0) << "started although RunAtLoad is not set";
    EXPECT_EQ(launchctl({QStringLiteral("list"), kLabel}).status, 0);

    // The first message starts the agent; either of its names does.
    ASSERT_TRUE(ping(bus->address(), kSecondService));
    const pid_t first = owner(bus->address(), kService);
    ASSERT_GT(first, 0);
    EXPECT_EQ(owner(bus->address(), kSecondService), first);

    ::kill(first, SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return owner(bus->address(), kService) == 0; }));
    ASSERT_TRUE(ping(bus->address(), kService));
    const pid_t second = owner(bus->address(), kService);
    EXPECT_GT(second, 0);
    EXPECT_NE(second, first);

    // Logging in again empties the runtime folder. The service files stay,
    // and the bus goes on starting the agent: it is still loaded.
    ASSERT_TRUE(QDir(platform::Paths::runtimeDirectory()).removeRecursively());
    EXPECT_EQ(launchctl({QStringLiteral("list"), kLabel}).status, 0);

    const ToolRun unload = launchctl({QStringLiteral("unload"), QStringLiteral("-wF"), plist});
    ASSERT_EQ(unload.status, 0) << unload.errors.toStdString();
    EXPECT_FALSE(isRunning(second)) << "the agent still runs after unload";
    EXPECT_FALSE(
        QFile::exists(platform::Paths::busServicesDirectory() + QLatin1Char('/') + kService + ".service"));
    EXPECT_FALSE(ping(bus->address(), kService)) << "the bus still starts an unloaded agent";
    const ToolRun list = launchctl({QStringLiteral("list"), kLabel});
    EXPECT_EQ(list.status, 113);
    EXPECT_NE(list.errors.indexOf("Could not find service"), -1);
}

TEST(Launchctl, StartsARunAtLoadAgentAtOnceAndRefusesWhatItCannotLoad) {
    const auto bus = SessionBusProcess::start();
    ASSERT_TRUE(bus);
    const QString plist = writeAgentPlist(agentPlist(true));
    const ToolRun load = launchctl({QStringLiteral("load"), QStringLiteral("-w"), plist});
    ASSERT_EQ(load.status, 0) << load.errors.toStdString();
    // Loading asks the bus to start the agent and does not wait for it.
    EXPECT_TRUE(testing_support::waitUntil([&] { return owner(bus->address(), kService) > 0; }));
    const ToolRun list = launchctl({QStringLiteral("list"), kLabel});
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(
        list.output.indexOf(QStringLiteral("\"PID\" = %1;").arg(owner(bus->address(), kService)).toUtf8()),
        -1)
        << list.output.toStdString();

    const ToolRun again = launchctl({QStringLiteral("load"), QStringLiteral("-w"), plist});
    EXPECT_NE(again.status, 0);
    EXPECT_NE(again.errors.indexOf("already loaded"), -1);
    ASSERT_EQ(launchctl({QStringLiteral("unload"), plist}).status, 0);

    platform::Value::Dictionary disabled = agentPlist(false);
    disabled.insert(QStringLiteral("Disabled"), true);
    const QString disabledPlist = writeAgentPlist(disabled);
    EXPECT_NE(launchctl({QStringLiteral("load"), disabledPlist}).status, 0);
    EXPECT_NE(launchctl({QStringLiteral("list"), kLabel}).status, 0);
    EXPECT_EQ(launchctl({QStringLiteral("load"), QStringLiteral("-w"), disabledPlist}).status, 0);
    ASSERT_EQ(launchctl({QStringLiteral("unload"), disabledPlist}).status, 0);
    // Read as the framework reads booleans: the word counts as well.
    disabled.insert(QStringLiteral("Disabled"), QStringLiteral(" YES"));
    EXPECT_NE(launchctl({QStringLiteral("load"), writeAgentPlist(disabled)}).status, 0);

    platform::Value::Dictionary unlabelled = agentPlist(false);
    unlabelled.remove(QStringLiteral("Label"));
    const ToolRun noLabel = launchctl({QStringLiteral("load"), writeAgentPlist(unlabelled)});
    EXPECT_NE(noLabel.status, 0);
    EXPECT_NE(noLabel.errors.indexOf("no Label"), -1);
    EXPECT_FALSE(
        QFile::exists(platform::Paths::busServicesDirectory() + QLatin1Char('/') + kService + ".service"));
    EXPECT_NE(launchctl({QStringLiteral("unload"), plist}).status, 0) << "unloading what is not loaded";

    // Names end up in file names and service files: only bus names pass.
    platform::Value::Dictionary escaping = agentPlist(false);
    escaping.insert(QStringLiteral("MachServices"),
                    platform::Value::Dictionary{{kService, true}, {QStringLiteral("../../escaped"), true}});
    const ToolRun badName = launchctl({QStringLiteral("load"), writeAgentPlist(escaping)});
    EXPECT_NE(badName.status, 0);
    EXPECT_NE(badName.errors.indexOf("is not a service name"), -1) << badName.errors.toStdString();
    EXPECT_FALSE(
        QFile::exists(platform::Paths::busServicesDirectory() + QLatin1Char('/') + kService + ".service"));
    EXPECT_NE(launchctl({QStringLiteral("list"), kLabel}).status, 0);
}

TEST(Launchctl, StartsOneProcessForAnAgentWhateverNamesAreCalledWhileItComesUp) {
    const auto bus = SessionBusProcess::start();
    ASSERT_TRUE(bus);
    const QString starts = testRoot() + QStringLiteral("/agent-starts");
    platform::Value::Dictionary plist = agentPlist(true);
    plist.insert(QStringLiteral("ProgramArguments"),
                 platform::Value(QStringList{QStringLiteral(KESTREL_BUS_AGENT), kService, kSecondService,
                                             QStringLiteral("--record-start=") + starts}));
    const QString path = writeAgentPlist(plist);
    ASSERT_EQ(launchctl({QStringLiteral("load"), path}).status, 0);
    // Called at once, while the agent started at load does not serve it yet.
    EXPECT_TRUE(ping(bus->address(), kSecondService));
    EXPECT_TRUE(ping(bus->address(), kService));
    EXPECT_EQ(owner(bus->address(), kService), owner(bus->address(), kSecondService));
    ASSERT_EQ(launchctl({QStringLiteral("unload"), path}).status, 0);
    EXPECT_EQ(readFile(starts).count("started"), 1) << "one start for both names";

    // Again after it died: the further name brings it back.
    ASSERT_EQ(launchctl({QStringLiteral("load"), path}).status, 0);
    ASSERT_TRUE(ping(bus->address(), kService));
    ::kill(owner(bus->address(), kService), SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return owner(bus->address(), kService) == 0; }));
    EXPECT_TRUE(ping(bus->address(), kSecondService));
    EXPECT_GT(owner(bus->address(), kService), 0);
    ASSERT_EQ(launchctl({QStringLiteral("unload"), path}).status, 0);
    EXPECT_EQ(readFile(starts).count("started"), 3);
}
