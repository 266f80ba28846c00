// ditto: unpacks PKZip archives (from a file or a pipe) and packs folders
// into them. The copying modes of the tool the system expects are not needed
// by it and are not offered.

#include "InputSpooler.h"
#include "ProcessorAvailability.h"
#include "ZipCreator.h"
#include "ZipExtractor.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kUsage = "usage: ditto -x -k SOURCE|- DESTINATION\n"
                               "       ditto -c -k [--keepParent] [--sequesterRsrc] SOURCE ARCHIVE.zip\n";

int usage(const std::string& problem) {
    std::fprintf(stderr, "ditto: %s\n%s", problem.c_str(), kUsage);
    return 2;
}

int fail(const std::string& text) {
    std::fprintf(stderr, "ditto: %s\n", text.c_str());
    return 1;
}

// Archive names are UTF-8; without a locale, libarchive would try to squeeze them into ASCII.
void useUTF8Names() {
    const char* locale = std::setlocale(LC_ALL, "");
    if (!locale || std::strcmp(locale, "C") == 0 || std::strcmp(locale, "POSIX") == 0) {
        std::setlocale(LC_CTYPE, "C.UTF-8");
    }
}

// KESTREL_DITTO_WRITER_THREAD=1 or 0 settles the choice, for measuring and testing both ways.
bool wantsWriterThread(const ProcessorAvailability& processors) {
    const char* forced = std::getenv("KESTREL_DITTO_WRITER_THREAD");
    if (forced && *forced) {
        return std::strcmp(forced, "0") != 0;
    }
    return processors.hasSpareProcessor();
}

bool arrivesThroughAPipe(int input) {
    struct stat status {};
    return ::fstat(input, &status) == 0 && S_ISFIFO(status.st_mode);
}

bool isEmptyOrMissing(const std::string& folder) {
    std::error_code failure;
    const bool empty = std::filesystem::is_empty(folder, failure);
    return failure ? !std::filesystem::exists(folder, failure) && !failure : empty;
}

bool emptyFolder(const std::string& folder, std::string* error) {
    std::error_code failure;
    for (const auto& item : std::filesystem::directory_iterator(folder, failure)) {
        std::filesystem::remove_all(item.path(), failure);
        if (failure) {
            break;
        }
    }
    if (failure) {
        *error = folder + ": " + failure.message();
        return false;
    }
    return true;
}

bool rewind(int spool, std::string* error) {
    if (::lseek(spool, 0, SEEK_SET) != 0) {
        *error = std::string("could not rewind the spooled archive: ") + std::strerror(errno);
        return false;
    }
    return true;
}

// Unpacks entries as they arrive instead of waiting for the central
// directory at the end: what would come after the transfer overlaps with it.
int extractArriving(const std::string& destination, bool writerThread) {
    std::string error;
    InputSpooler::enlargePipe(STDIN_FILENO);
    const int spool = InputSpooler::makeAnonymousFile(&error);
    if (spool < 0) {
        return fail(error);
    }
    ZipExtractor extractor(destination, writerThread);
    const ZipExtractor::Arrival arrival = extractor.extractArriving(STDIN_FILENO, spool, &error);
    bool extracted = arrival == ZipExtractor::Arrival::Extracted;
    if (arrival == ZipExtractor::Arrival::UnpackAgain) {
        extracted = emptyFolder(destination, &error) && rewind(spool, &error) && extractor.extract(spool, &error);
    }
    ::close(spool);
    return extracted ? 0 : fail(error);
}

int extract(const std::string& source, const std::string& destination) {
    // Measures the machine's idle time while the archive is spooled.
    const ProcessorAvailability processors;
    // A destination that held nothing can be emptied again if the stream cannot settle the archive.
    if (source == "-" && arrivesThroughAPipe(STDIN_FILENO) && isEmptyOrMissing(destination)) {
        return extractArriving(destination, wantsWriterThread(processors));
    }
    std::string error;
    int archive = -1;
    if (source == "-") {
        archive = InputSpooler::spool(STDIN_FILENO, &error);
    } else {
        archive = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
        if (archive < 0) {
            error = source + ": " + std::strerror(errno);
        }
    }
    if (archive < 0) {
        return fail(error);
    }
    const bool extracted = ZipExtractor(destination, wantsWriterThread(processors)).extract(archive, &error);
    ::close(archive);
    return extracted ? 0 : fail(error);
}

} // namespace

int main(int argc, char** argv) {
    useUTF8Names();
    bool extractMode = false;
    bool createMode = false;
    bool pkzip = false;
    bool keepParent = false;
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (optionsEnded || argument == "-" || argument.empty() || argument.front() != '-') {
            operands.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--keepParent") {
            keepParent = true;
        } else if (argument == "--sequesterRsrc") {
            // Resource forks do not exist here: there is nothing to sequester.
        } else if (argument.size() >= 2 && argument[1] != '-') {
            for (const char flag : argument.substr(1)) {
                switch (flag) {
                case 'x':
                    extractMode = true;
                    break;
                case 'c':
                    createMode = true;
                    break;
                case 'k':
                    pkzip = true;
                    break;
                default:
                    return usage(std::string("unknown option -") + flag);
                }
            }
        } else {
            return usage("unknown option " + argument);
        }
    }
    if (extractMode == createMode) {
        return usage("exactly one of -x and -c is needed");
    }
    if (!pkzip) {
        return usage("only PKZip archives (-k) are supported");
    }
    if (operands.size() != 2) {
        return usage("a source and a destination are needed");
    }
    if (extractMode) {
        if (keepParent) {
            return usage("--keepParent only applies to -c");
        }
        // Unpacking works from inside the destination: a relative one would
        // be taken from there once more for a second pass.
        std::error_code failure;
        const std::string destination = std::filesystem::absolute(operands[1], failure).string();
        if (failure) {
            return fail(operands[1] + ": " + failure.message());
        }
        return extract(operands[0], destination);
    }
    if (operands[0] == "-" || operands[1] == "-") {
        return usage("-c needs a source and an archive path, not standard streams");
    }
    std::string error;
    return ZipCreator(operands[0], operands[1], keepParent).create(&error) ? 0 : fail(error);
}
