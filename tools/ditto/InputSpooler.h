#pragma once

#include <cstddef>
#include <string>

// A PKZip archive keeps the modes and link flags of its entries in the
// central directory at its end, so an archive arriving on a pipe has to be
// read to the end before it can be unpacked from it. The spooler copies a
// stream into an anonymous temporary file (nothing to clean up, whatever
// happens to the process) in large blocks, so memory use stays flat for any
// size.
class InputSpooler {
public:
    // A seekable descriptor positioned at the start of what `input` held, or
    // -1 with the reason. A regular file is already seekable and is used as is.
    static int spool(int input, std::string* error);

    // An unnamed file in the temporary folder, or -1 with the reason.
    static int makeAnonymousFile(std::string* error);
    // Widens a pipe's buffer to one block (nothing for other kinds of input).
    static void enlargePipe(int input);
    // Appends what is left of `input` to `output`.
    static bool copyRest(int input, int output, std::string* error);

private:
    static bool writeAll(int fd, const char* data, size_t size, std::string* error);
    static bool copyBySplicing(int input, int output, bool* unsupported, std::string* error);
    static bool copyByReading(int input, int output, std::string* error);
};
