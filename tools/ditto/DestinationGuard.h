#pragma once

#include <optional>
#include <string>
#include <vector>

// Keeps an extraction inside its destination folder. Entry paths must be
// relative and must not climb with "..". A symbolic link must resolve inside
// the destination: its target is followed from the link's own folder through
// the links already on disk, because a link that looks harmless on paper
// ("up/../x") escapes when "up" is itself a link to the destination's top.
class DestinationGuard {
public:
    // `destination` is a descriptor of the destination folder; paths are relative to it.
    explicit DestinationGuard(int destination) : destination_(destination) {}

    // `path` relative to the destination as the guard names it: "./" and its
    // components, without empty ones and "." ("a//./b/" is "./a/b", "" is ".").
    static std::string normalized(const std::string& path);

    // Why an entry at `path` must not be written, or nothing when it may.
    std::optional<std::string> pathProblem(const std::string& path) const;
    // Why a symbolic link at `path` pointing to `target` must not exist, or
    // nothing when it stays inside; judged against what is on disk now.
    std::optional<std::string> linkProblem(const std::string& path, const std::string& target) const;

private:
    using Components = std::vector<std::string>;
    // Follows `path` from the folder `at`, replacing links on disk by their
    // targets; false as soon as it leaves the destination.
    bool follow(Components& at, const std::string& path, int& hops) const;
    static std::string joined(const Components& components);

    int destination_;
};
