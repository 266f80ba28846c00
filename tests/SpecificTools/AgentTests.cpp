#include "SpecificTools/AFXAgent/AFXAgent.h"
#include "platform/ExtendedAttributes.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"
#include "testing/AppBundleMaker.h"
#include "testing/SessionBusProcess.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QFile>
#include <QFileInfo>

using namespace testing_support;
using namespace Qt::Literals::StringLiterals;
using platform::Paths;

namespace {

const QString kAgentName = u"KestrelAgent.app"_s;
const QString kAgentID = u"com.kestrel.DesktopClient.KestrelAgent"_s;
const QString kAgentService = u"com.kestrel.test.AgentService"_s;
const QString kQuarantine = u"com.apple.quarantine"_s;

QString hostPath() {
    return Paths::resolve(u"/Applications/Kestrel.app"_s);
}

// A host bundle carrying an agent whose executable serves kAgentService.
void makeHost(const QString& version) {
    const QString agent = hostPath() + u"/Contents/Library/LaunchServices/"_s + kAgentName;
    ASSERT_TRUE(makeAppBundle(hostPath(), appInfo(u"com.kestrel.DesktopClient"_s)));
    ASSERT_TRUE(
        makeAppBundle(agent,
                      {{u"CFBundleIdentifier"_s, kAgentID},
                       {u"CFBundleExecutable"_s, u"Recorder"_s},
                       {u"CFBundleVersion"_s, version}},
                      "#!/bin/sh\nexec '" KESTREL_BUS_AGENT "' '" + kAgentService.toUtf8() + "' \"$@\"\n"));
    const platform::Value::Dictionary plist{
        {u"Label"_s, kAgentID},
        {u"ProgramArguments"_s, platform::Value(QStringList{u"/stale/path"_s})},
        {u"MachServices"_s, platform::Value::Dictionary{{kAgentService, true}}},
    };
    const auto data =
        platform::PropertyList::write(platform::Value(plist), platform::PropertyList::Format::XML);
    ASSERT_TRUE(data && writeFile(agent + u"/Contents/Resources/"_s + kAgentID + u".plist"_s, *data));
}

platform::Value::Dictionary readPlist(const QString& path) {
    const auto plist = platform::PropertyList::read(readFile(path));
    return plist ? plist->toDictionary() : platform::Value::Dictionary{};
}

void setInstalledVersion(const AFXAgent& agent, const QString& version) {
    const QString info = agent.bundleDestinationURL().toLocalFile() + u"/Contents/Info.plist"_s;
    platform::Value::Dictionary dictionary = readPlist(info);
    dictionary.insert(u"CFBundleVersion"_s, version);
    const auto data =
        platform::PropertyList::write(platform::Value(dictionary), platform::PropertyList::Format::XML);
    ASSERT_TRUE(data && writeFile(info, *data));
}

} // namespace

TEST(Agent, InstallsLoadsAndUnloadsThroughLaunchctl) {
    const auto bus = SessionBusProcess::start();
    ASSERT_TRUE(bus);
    makeHost(u"1.9.8"_s);
    const auto agent = AFXAgent::make(kAgentName, QUrl::fromLocalFile(hostPath()));

    AFXOptionalError error;
    ASSERT_TRUE(agent->installWithError(&error)) << (error ? error->description().toStdString() : "");
    EXPECT_FALSE(error);
    const QString destination =
        Paths::resolve(u"~/Library/Application Support/Kestrel/LaunchAgents/"_s + kAgentName);
    EXPECT_EQ(agent->bundleDestinationURL().toLocalFile(), destination);
    const QString executable = destination + u"/Contents/MacOS/Recorder"_s;
    EXPECT_EQ(agent->agentExecutablePath().value_or(QString()), executable);
    EXPECT_TRUE(QFileInfo(executable).isExecutable());
    ASSERT_TRUE(platform::ExtendedAttributes::set(executable, kQuarantine, "0081;"));
    EXPECT_TRUE(agent->removeFromQuarantine(&error));
    EXPECT_FALSE(platform::ExtendedAttributes::get(executable, kQuarantine))
        << "the copy is still quarantined";

    const QString plistPath = Paths::resolve(u"~/Library/LaunchAgents/"_s + kAgentID + u".plist"_s);
    ASSERT_EQ(agent->plistDestinationURL().value_or(QUrl()).toLocalFile(), plistPath);
    const platform::Value::Dictionary plist = readPlist(plistPath);
    EXPECT_EQ(plist.value(u"Label"_s).toString(), kAgentID);
    EXPECT_EQ(plist.value(u"ProgramArguments"_s).toStringList(), (QStringList{executable, u"-xpcServer"_s}));

    EXPECT_FALSE(agent->isLoaded());
    EXPECT_TRUE(agent->wantsUpdate()) << "an agent that is not loaded always wants an update";

    AFXAgent::loadAgents({agent});
    ASSERT_TRUE(agent->isLoaded());
    // The bus starts the installed copy as a server on the first message.
    QDBusConnection connection = QDBusConnection::connectToBus(bus->address(), bus->address());
    const QDBusMessage reply = connection.call(
        QDBusMessage::createMethodCall(kAgentService, u"/"_s, u"org.freedesktop.DBus.Peer"_s, u"Ping"_s));
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    const QDBusReply<uint> pid = connection.interface()->servicePid(kAgentService);
    ASSERT_TRUE(pid.isValid());
    const QByteArray commandLine = readFile(u"/proc/%1/cmdline"_s.arg(pid.value()));
    EXPECT_NE(commandLine.indexOf("-xpcServer"), -1) << commandLine.toStdString();

    EXPECT_FALSE(agent->wantsUpdate()) << "same version as the product";
    setInstalledVersion(*agent, u"1.9.7"_s);
    EXPECT_TRUE(agent->wantsUpdate()) << "older than the product";
    setInstalledVersion(*agent, u"1.10.0"_s);
    EXPECT_FALSE(agent->wantsUpdate()) << "1.10 is newer than 1.9.8, however it sorts as text";

    AFXAgent::unloadAgents({agent});
    EXPECT_FALSE(agent->isLoaded());
    EXPECT_TRUE(agent->wantsUpdate());
}

TEST(Agent, CopyFailsForAHostWithoutTheAgentAndReplacesAnOldCopy) {
    ASSERT_TRUE(makeAppBundle(hostPath(), appInfo(u"com.kestrel.DesktopClient"_s)));
    const auto missing = AFXAgent::make(kAgentName, QUrl::fromLocalFile(hostPath()));
    EXPECT_FALSE(missing->sourceBundle());
    EXPECT_FALSE(missing->bundleID());
    EXPECT_FALSE(missing->plistSourceURL());
    AFXOptionalError error;
    EXPECT_FALSE(missing->installWithError(&error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), AFXDefaultErrorDomain);
    EXPECT_EQ(error->code(), AFXErrorCodeFailedAgentInstall);
    EXPECT_EQ(error->userInfo().value(AFXErrorOperationKey).toString(), u"copy"_s);

    makeHost(u"2.0"_s);
    const auto agent = AFXAgent::make(kAgentName, QUrl::fromLocalFile(hostPath()));
    agent->setOldName(kAgentName);
    const QString stale = agent->bundleDestinationURL().toLocalFile() + u"/Contents/stale"_s;
    ASSERT_TRUE(writeFile(stale, "left over"));
    ASSERT_TRUE(agent->copyWithError(&error)) << (error ? error->description().toStdString() : "");
    EXPECT_FALSE(error);
    EXPECT_FALSE(QFile::exists(stale));
    EXPECT_TRUE(QFile::exists(agent->agentExecutablePath().value_or(QString())));
}
