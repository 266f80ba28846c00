// mdimport: asked to index placed bundles for search. There is no search
// index to feed here, so it takes the paths, checks nothing and succeeds;
// callers do not wait for it and rely on nothing it does.

#include <cstdio>

int main(int argc, char** argv) {
    (void)argv;
    if (argc < 2) {
        std::fputs("usage: mdimport PATH...\n", stderr);
        return 1;
    }
    return 0;
}
