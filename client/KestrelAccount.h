#pragma once

#include <QString>

#include <cstdio>

// Signing a customer in and out from the command line ("--sign-in",
// "--sign-out"). The customer is kept in the client's preferences, where
// the agent finds it.
class KestrelAccount {
public:
    // 0 once signed in and kept; 1 with the reason on `errors` otherwise.
    static int signIn(const QString& email, const QString& password, std::FILE* output, std::FILE* errors);
    static int signOut(std::FILE* output, std::FILE* errors);
};
