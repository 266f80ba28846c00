#pragma once

#include <QString>

#include <map>
#include <string>

namespace testing_support {

// A folder's content as text, one line per item below it keyed by its
// relative path, so two trees compare with one expectation and a mismatch
// shows the differing items. Links are described, never followed.
class TreeDescription {
public:
    enum class Detail {
        Everything,  // kind, contents, link targets, permission bits, modification times
        ContentsOnly // kind, contents, link targets
    };
    static std::map<std::string, std::string> of(const QString& folder, Detail detail = Detail::Everything);
};

} // namespace testing_support
