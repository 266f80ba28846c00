// xattr: reads and changes extended attributes the way the system's scripts
// and tools call it (clearing the quarantine attribute of unpacked apps).

#include "AttributeEditor.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage = "usage: xattr [-r] PATH...\n"
                               "       xattr [-r] -p NAME PATH...\n"
                               "       xattr [-r] -w NAME VALUE PATH...\n"
                               "       xattr [-r] -d NAME PATH...\n";

int usage(const std::string& problem) {
    std::fprintf(stderr, "xattr: %s\n%s", problem.c_str(), kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    auto operation = AttributeEditor::Operation::List;
    bool recursive = false;
    int operations = 0;
    size_t next = 0;
    for (; next < arguments.size(); ++next) {
        const std::string& argument = arguments[next];
        if (argument == "--") {
            ++next;
            break;
        }
        if (argument.size() < 2 || argument.front() != '-') {
            break;
        }
        for (const char flag : argument.substr(1)) {
            switch (flag) {
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
                return usage(std::string("unknown option -") + flag);
            }
        }
    }
    if (operations > 1) {
        return usage("only one of -p, -w and -d may be given");
    }
    std::vector<std::string> rest(arguments.begin() + static_cast<std::ptrdiff_t>(next), arguments.end());
    auto takeFirst = [&rest] {
        std::string first = rest.front();
        rest.erase(rest.begin());
        return first;
    };
    std::string name;
    std::string value;
    if (operation != AttributeEditor::Operation::List) {
        if (rest.empty()) {
            return usage("an attribute name is needed");
        }
        name = takeFirst();
    }
    if (operation == AttributeEditor::Operation::Write) {
        if (rest.empty()) {
            return usage("a value is needed");
        }
        value = takeFirst();
    }
    if (rest.empty()) {
        return usage("a file is needed");
    }
    return AttributeEditor(operation, name, value, recursive).apply(rest) ? 0 : 1;
}
