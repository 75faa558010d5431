// SPDX-License-Identifier: MIT
// turnlet-damaged-corpus DIR: writes the damaged-file corpus into DIR and lists it, one file a
// line: name, path, and "loads" or "fails", separated by tabs.
#include <cstdio>
#include <exception>

#include "damaged_corpus.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("Usage: turnlet-damaged-corpus DIR\n", stderr);
        return 2;
    }
    try {
        for (const auto& file : turnlet::damaged::MakeDamagedCorpus(argv[1]))
            std::printf("%s\t%s\t%s\n", file.name.c_str(), file.path.c_str(), file.loads ? "loads" : "fails");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "turnlet-damaged-corpus: %s\n", e.what());
        return 1;
    }
    return 0;
}
