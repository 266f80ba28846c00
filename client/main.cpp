// Kestrel: the store's desktop client. This build knows only its first
// duty toward the installer: a run with "-silentLaunch" sets it up in the
// background and ends by itself.

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-silentLaunch") == 0) {
            return 0;
        }
    }
    std::fprintf(stderr, "Kestrel: this build of the desktop client only supports -silentLaunch\n");
    return 1;
}
