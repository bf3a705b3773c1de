#include <clocale>
#include <iostream>

#include "Dcsetup.h"

int main(int argc, char** argv) {
    // The user's locale is in effect, as in any program; dcsetup reads and
    // writes numbers in the same notation whatever it is.
    std::setlocale(LC_ALL, "");
    return dcsetup::RunDcsetup(argc, argv, std::cout, std::cerr);
}
