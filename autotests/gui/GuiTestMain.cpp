// Test main of the dialog tests: an offscreen application in virtual time.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "kx/gui/Clock.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    kx::HostClock::Instance().SetMode(kx::HostClock::Mode::Virtual);
    const int result = RUN_ALL_TESTS();
    kx::HostClock::Instance().SetMode(kx::HostClock::Mode::Real);
    return result;
}
