#pragma once

#include "BRAssertions.h"
#include "platform/Error.h"
#include "platform/Value.h"

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <variant>

// A result that holds exactly one of a value or an error. Immutable: the
// lifting operations make new holders (or answer an equal one).
// `BRAnyValueOrError` is the form over `platform::Value` that travels between
// processes.
template <typename T> class BRValueOrError {
public:
    using ValueType = T;

    // The value must not be nil (a null pointer or a null platform::Value).
    static BRValueOrError makeWithValue(T value) {
        BRParameterAssertText(!isNil(value), "nil != value");
        return BRValueOrError(std::move(value));
    }
    static BRValueOrError makeWithError(platform::Error error) { return BRValueOrError(std::move(error)); }

    bool hasValue() const { return std::holds_alternative<T>(content_); }
    // The value, or null when an error is held.
    const T* value() const { return std::get_if<T>(&content_); }
    std::optional<platform::Error> error() const {
        if (const auto* error = std::get_if<platform::Error>(&content_)) {
            return *error;
        }
        return std::nullopt;
    }

    // With a value: a holder of the block's result (which must not be nil).
    // With an error: a holder of the same error.
    template <typename F>
    auto liftValue(F&& block) const -> BRValueOrError<std::decay_t<std::invoke_result_t<F, const T&>>> {
        using U = std::decay_t<std::invoke_result_t<F, const T&>>;
        if (const T* held = value()) {
            return BRValueOrError<U>::makeWithValue(std::invoke(std::forward<F>(block), *held));
        }
        return BRValueOrError<U>::makeWithError(*error());
    }
    // With an error: a holder of the block's error; with a value: this holder.
    BRValueOrError liftError(const std::function<platform::Error(const platform::Error&)>& block) const {
        if (const auto* held = std::get_if<platform::Error>(&content_)) {
            return makeWithError(block(*held));
        }
        return *this;
    }
    // Calls the block synchronously with the value, when a value is held.
    const BRValueOrError& onValue(const std::function<void(const T&)>& block) const {
        if (const T* held = value()) {
            block(*held);
        }
        return *this;
    }
    // Calls the block synchronously with the error, when an error is held.
    const BRValueOrError& onError(const std::function<void(const platform::Error&)>& block) const {
        if (const auto* held = std::get_if<platform::Error>(&content_)) {
            block(*held);
        }
        return *this;
    }

    // The same result over platform::Value, for values that convert to one.
    BRValueOrError<platform::Value> erased() const {
        if (const T* held = value()) {
            return BRValueOrError<platform::Value>::makeWithValue(platform::Value(*held));
        }
        return BRValueOrError<platform::Value>::makeWithError(*error());
    }

private:
    explicit BRValueOrError(T value) : content_(std::move(value)) {}
    explicit BRValueOrError(platform::Error error) : content_(std::move(error)) {}

    static bool isNil(const T& value) {
        if constexpr (std::is_same_v<T, platform::Value>) {
            return value.isNull();
        } else if constexpr (std::is_pointer_v<T>) {
            return value == nullptr;
        } else if constexpr (requires(const T& v) {
                                 v.get();
                                 static_cast<bool>(v);
                             }) {
            // Smart pointers.
            return !static_cast<bool>(value);
        } else {
            return false;
        }
    }

    std::variant<T, platform::Error> content_;
};

using BRAnyValueOrError = BRValueOrError<platform::Value>;
