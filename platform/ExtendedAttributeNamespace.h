#pragma once

namespace platform {

// The namespace of Linux's extended attributes that holds the system's
// attribute names: "com.apple.quarantine" is "user.com.apple.quarantine".
// Plain text, so that small tools without Qt can share it.
inline constexpr char ExtendedAttributeNamespace[] = "user.";

} // namespace platform
