#include <iostream>

#include "Dcsetup.h"

int main(int argc, char** argv) { return dcsetup::RunDcsetup(argc, argv, std::cout, std::cerr); }
