// Test main that runs the tests in the locale named by the environment, as a
// user's program would, so that a number read or written through the C
// library or a stream in that locale shows up as a failure. ctest runs the
// file and command-line suites once more under a decimal-comma locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <locale>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const char* asked = std::getenv("LC_ALL");
    if (!std::setlocale(LC_ALL, "")) {
        if (asked && *asked) {
            std::fprintf(stderr,
                         "the locale LC_ALL=%s that these tests run in is not installed; generate it "
                         "(e.g. localedef -i de_DE -f UTF-8 de_DE.UTF-8, as tools/dev.sh test does)\n",
                         asked);
            return 1;
        }
        std::fprintf(stderr, "note: the locale named by LANG is not installed; running in \"C\"\n");
    }
    try {
        std::locale::global(std::locale(""));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "cannot use the locale of the environment as the C++ locale: %s\n",
                     error.what());
        return 1;
    }
    return RUN_ALL_TESTS();
}
