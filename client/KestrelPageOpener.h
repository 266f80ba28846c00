#pragma once

#include "KestrelDiscoveryURL.h"

#include <QString>

#include <cstdio>
#include <optional>

// Shows the page a "kestreldiscovery" URL asks for. This client has no
// window: it says on `output` which app's page it shows, for whom, and
// appends the URL to "~/Library/Logs/Kestrel/opened-pages.log".
class KestrelPageOpener {
public:
    // 0 once shown; 1 with the reason on `errors` when the log cannot be written.
    static int open(const KestrelDiscoveryURL& page, std::FILE* output, std::FILE* errors);

    // The app's name in the store's catalogue, or none when the catalogue
    // cannot be had or does not list it.
    static std::optional<QString> appNameFromCatalogue(std::int64_t appID);
};
