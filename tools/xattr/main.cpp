// xattr: reads and changes extended attributes the way the system's scripts
// and tools call it (clearing the quarantine attribute of unpacked apps).

#include "AttributeEditor.h"

#include <QString>
#include <QStringList>

#include <cstdio>

namespace {

constexpr const char* kUsage = "usage: xattr [-r] PATH...\n"
                               "       xattr [-r] -p NAME PATH...\n"
                               "       xattr [-r] -w NAME VALUE PATH...\n"
                               "       xattr [-r] -d NAME PATH...\n";

int usage(const QString& problem) {
    std::fprintf(stderr, "xattr: %s\n%s", problem.toLocal8Bit().constData(), kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    auto operation = AttributeEditor::Operation::List;
    bool recursive = false;
    int operations = 0;
    qsizetype next = 0;
    for (; next < arguments.size(); ++next) {
        const QString& argument = arguments[next];
        if (argument == QLatin1String("--")) {
            ++next;
            break;
        }
        if (argument.size() < 2 || !argument.startsWith(QLatin1Char('-'))) {
            break;
        }
        for (const QChar flag : argument.mid(1)) {
            switch (flag.unicode()) {
            case 'r':
                recursive = true;
                break;
            case 'p':
                operation = AttributeEditor::Operation::Print;
                ++operations;
                break;
            case 'w':
                operation = AttributeEditor::Operation::Write;
                ++operations;
                break;
            case 'd':
                operation = AttributeEditor::Operation::Delete;
                ++operations;
                break;
            default:
                return usage(QStringLiteral("unknown option -%1").arg(flag));
            }
        }
    }
    if (operations > 1) {
        return usage(QStringLiteral("only one of -p, -w and -d may be given"));
    }
    QStringList rest = arguments.mid(next);
    QString name;
    QByteArray value;
    if (operation != AttributeEditor::Operation::List) {
        if (rest.isEmpty()) {
            return usage(QStringLiteral("an attribute name is needed"));
        }
        name = rest.takeFirst();
    }
    if (operation == AttributeEditor::Operation::Write) {
        if (rest.isEmpty()) {
            return usage(QStringLiteral("a value is needed"));
        }
        value = rest.takeFirst().toUtf8();
    }
    if (rest.isEmpty()) {
        return usage(QStringLiteral("a file is needed"));
    }
    return AttributeEditor(operation, name, value, recursive).apply(rest) ? 0 : 1;
}
