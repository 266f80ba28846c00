#pragma once

#include <cstdio>

// The client's launch agent ("-xpcServer"): serves the client's five
// services through a services factory made with the server classes until
// SIGTERM or SIGINT. The bus may start it twice at once (one start per
// name asked for); an instance that finds a name already served leaves
// quietly, so that the one that owns the names goes on alone.
class KestrelAgentProcess {
public:
    static constexpr const char* TierName = "KestrelAgent";

    // Runs the event loop; the exit status.
    static int run(std::FILE* errors);
};
