// Kestrel: the store's desktop client, as far as the installer and a person
// at a terminal need it: its silent set-up, its launch agent serving the
// management services, sign-in, app pages and its uninstaller.

#include "KestrelAccount.h"
#include "KestrelAgentProcess.h"
#include "KestrelCommandLine.h"
#include "KestrelPageOpener.h"
#include "KestrelSilentLaunch.h"
#include "KestrelUninstaller.h"
#include "support/BRExitProcess.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

int run(const QCoreApplication& application) {
    QString problem;
    const auto command = KestrelCommandLine::parse(application.arguments().mid(1), &problem);
    if (!command) {
        std::fprintf(stderr, "Kestrel: %s\n%s", qUtf8Printable(problem),
                     qUtf8Printable(KestrelCommandLine::Usage));
        return 2;
    }
    switch (command->mode) {
    case KestrelCommandLine::Mode::SilentLaunch:
        return KestrelSilentLaunch::run(stderr);
    case KestrelCommandLine::Mode::Server:
        return KestrelAgentProcess::run(stderr);
    case KestrelCommandLine::Mode::SignIn:
        return KestrelAccount::signIn(command->email, command->password, stdout, stderr);
    case KestrelCommandLine::Mode::SignOut:
        return KestrelAccount::signOut(stdout, stderr);
    case KestrelCommandLine::Mode::Uninstall:
        return KestrelUninstaller::run(stdout, stderr);
    case KestrelCommandLine::Mode::OpenPage:
        return KestrelPageOpener::open(*command->page, stdout, stderr);
    }
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Kestrel"));
    BRExitProcess(run(application));
}
