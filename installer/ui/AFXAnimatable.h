#pragma once

#include <functional>

// A view that shows and hides itself, animated or at once. The completion
// runs exactly once, on the main thread, after the visible change is done.
class AFXAnimatable {
public:
    virtual ~AFXAnimatable() = default;
    virtual void showAnimated(bool animated, std::function<void()> completion) = 0;
    virtual void hideAnimated(bool animated, std::function<void()> completion) = 0;
};
