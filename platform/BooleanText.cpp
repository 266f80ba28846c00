#include "BooleanText.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string>

namespace platform {

bool BooleanText::isTrue(std::string_view text) {
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    std::string word(text);
    word.erase(word.begin(), std::find_if_not(word.begin(), word.end(), blank));
    word.erase(std::find_if_not(word.rbegin(), word.rend(), blank).base(), word.end());
    std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return std::tolower(c); });
    if (word == "yes" || word == "true") {
        return true;
    }
    // A number out of range is not one.
    errno = 0;
    char* end = nullptr;
    const long long number = std::strtoll(word.c_str(), &end, 10);
    return !word.empty() && end == word.c_str() + word.size() && errno != ERANGE && number != 0;
}

} // namespace platform
