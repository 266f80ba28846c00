#include "client/KestrelCommandLine.h"

#include <gtest/gtest.h>

using Mode = KestrelCommandLine::Mode;

TEST(ClientCommandLine, AcceptsTheClientsModes) {
    struct Case {
        QStringList arguments;
        Mode mode;
        QString email;
        QString password;
    };
    const QList<Case> cases{
        {{"-silentLaunch"}, Mode::SilentLaunch, {}, {}},
        {{"-xpcServer"}, Mode::Server, {}, {}},
        {{"--sign-out"}, Mode::SignOut, {}, {}},
        {{"--uninstall"}, Mode::Uninstall, {}, {}},
        {{"--sign-in", "demo@kestrel.app"}, Mode::SignIn, "demo@kestrel.app", "kestrel-demo"},
        {{"--sign-in", "a@b.c", "--password", "secret"}, Mode::SignIn, "a@b.c", "secret"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.arguments.join(' ').toStdString());
        QString problem;
        const auto command = KestrelCommandLine::parse(test.arguments, &problem);
        ASSERT_TRUE(command) << problem.toStdString();
        EXPECT_EQ(command->mode, test.mode);
        EXPECT_EQ(command->email, test.email);
        EXPECT_EQ(command->password, test.password);
    }
}

TEST(ClientCommandLine, ReadsPageURLsAndRefusesMalformedOnes) {
    QString problem;
    const auto page = KestrelCommandLine::parse(
        {"kestreldiscovery://"
         "open_collection?collection_id=7&app_id=230&sender_domain=Installer&sender=Orbit%20Notes"},
        &problem);
    ASSERT_TRUE(page && page->page) << problem.toStdString();
    EXPECT_EQ(page->mode, Mode::OpenPage);
    EXPECT_EQ(page->page->appID, 230);
    EXPECT_EQ(page->page->collectionID, 7);
    EXPECT_EQ(page->page->senderDomain, QStringLiteral("Installer"));
    EXPECT_EQ(page->page->sender, QStringLiteral("Orbit Notes"));

    const QList<QStringList> refused{
        {},
        {"--help"},
        {"-silentLaunch", "-xpcServer"},
        {"--sign-in"},
        {"--sign-in", "--password", "x"},
        {"--sign-in", "a@b.c", "--password"},
        {"--sign-in", "a@b.c", "extra"},
        {"kestreldiscovery://open_collection?collection_id=0"},
        {"kestreldiscovery://open_collection?app_id=abc"},
        {"kestreldiscovery://open_collection?app_id=-4"},
        {"kestreldiscovery://open_collection?app_id=230&collection_id=x"},
        {"kestreldiscovery://delete_everything?app_id=230"},
        {"kestreldiscovery:%%"},
    };
    for (const QStringList& arguments : refused) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        QString why;
        EXPECT_FALSE(KestrelCommandLine::parse(arguments, &why));
        EXPECT_FALSE(why.isEmpty());
    }
}
