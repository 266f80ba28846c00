#pragma once

// The object whose methods a proactor's delegate-method groups call. A
// marker: it declares no operations of its own.
class BRProactorDelegate {
public:
    virtual ~BRProactorDelegate() = default;
};
