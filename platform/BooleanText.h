#pragma once

#include <string_view>

namespace platform {

// How the platform reads a boolean written as text (preferences, property
// lists): "yes", "true" and whole numbers other than 0 are true, whatever
// the case and the blanks around them; anything else is false.
class BooleanText {
public:
    static bool isTrue(std::string_view text);
};

} // namespace platform
