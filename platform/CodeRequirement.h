#pragma once

#include "Error.h"
#include "SecurityStatus.h"
#include "Value.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

namespace platform {

// A compiled code requirement, in this subset of the requirement language:
//
//   requirement := term ("or" term)*
//   term        := factor ("and" factor)*
//   factor      := "(" requirement ")"
//                | "anchor" "apple" "generic"
//                | "certificate" "leaf" "[" "subject.OU" "]" "=" string
//                | "entitlement" "[" string "]" "exists"
//
// Strings are in double quotes with backslash escapes. "anchor apple
// generic" holds when the signer's chain ends at a code-signing root the
// platform trusts (see CodeSigningTrust); the organisational-unit clause
// holds when the leaf certificate has that unit among its subject's; the
// entitlement clause when the signed entitlements have that key. An
// immutable value.
class CodeRequirement {
public:
    // What a requirement is checked against.
    struct Subject {
        bool anchorTrusted = false;
        QStringList leafOrganizationalUnits;
        Value::Dictionary entitlements;
    };

    // Compiles `text`. A text that does not compile is errSecCSReqInvalid;
    // the detailed error says where and what was expected
    // (kSecCFErrorRequirementSyntax: "line 1, column 15: expected …, found …").
    static OSStatus createWithString(const QString& text, std::optional<CodeRequirement>* requirement,
                                     std::optional<Error>* errors);

    bool isSatisfiedBy(const Subject& subject) const;
    const QString& text() const { return text_; }

    struct Node;

private:
    CodeRequirement(QString text, std::shared_ptr<const Node> root)
        : text_(std::move(text)), root_(std::move(root)) {}

    QString text_;
    std::shared_ptr<const Node> root_;
};

} // namespace platform
