// Test main that runs in the environment's locale, as a user's program would,
// so that a number read or written in that locale's notation fails a test.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <locale>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!std::setlocale(LC_ALL, "")) {
        const char* asked = std::getenv("LC_ALL");
        std::fprintf(stderr,
                     "the locale of the environment (LC_ALL=%s) is not installed; generate it "
                     "(e.g. localedef -i de_DE -f UTF-8 de_DE.UTF-8, as tools/dev.sh test does)\n",
                     asked ? asked : "");
        return 1;
    }
    std::locale::global(std::locale(""));  // the C++ streams' locale too
    return RUN_ALL_TESTS();
}
