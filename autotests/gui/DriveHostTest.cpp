// The virtual drive in the host: it follows host time, the dialog-script
// steps act on it, and its panel shows it and works while a modal dialog is
// open, laid out without clipped captions at any scale.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <cmath>
#include <filesystem>
#include <numbers>

#include "DefaultSetup.h"
#include "GuiTest.h"
#include "drive/VirtualDrive.h"
#include "kx/Comm.h"
#include "kx/VirtualDriveLink.h"
#include "kx/gui/Clock.h"
#include "kx/gui/DriveHost.h"
#include "kx/gui/Gui.h"

namespace {

vdrive::Plant DefaultPlant() {
    vdrive::Plant plant;
    std::string error;
    EXPECT_TRUE(vdrive::ParsePlant(dcdrive::DefaultPlantJson(), plant, error)) << error;
    return plant;
}

// A message box for the script to work in.
int AskSomething() { return kx::MessageBox(nullptr, "Go on?", "Drive", MB_OKCANCEL); }

TEST(DriveHost, TimersFindTheDriveAtTheirDueTime) {
    vdrive::VirtualDrive drive(DefaultPlant());
    kx::HostClock& clock = kx::HostClock::Instance();
    clock.AdvanceTo(clock.Now() + 1.25);  // the drive joins a session under way
    const double joined = clock.Now();
    const kx::VirtualDriveScope installed(drive);
    EXPECT_EQ(CKX_Comm::GetActiveLink(), kx::GetVirtualDriveLink());
    std::vector<double> seen;
    const int owner = 0;
    clock.SetTimer(&owner, 1, 20, [&] { seen.push_back(drive.Now()); });
    clock.AdvanceTo(joined + 0.07);
    clock.KillTimers(&owner);
    ASSERT_EQ(seen.size(), 3u);
    for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_NEAR(seen[i], 0.02 * (i + 1), 1e-9);
    EXPECT_NEAR(drive.Now(), 0.07, 1e-9);
}

// For a person at the screen the drive keeps up with the wall clock by itself.
TEST(DriveHost, InRealTimeTheDriveFollowsTheWallClock) {
    kx::HostClock& clock = kx::HostClock::Instance();
    clock.SetMode(kx::HostClock::Mode::Real);
    vdrive::VirtualDrive drive(DefaultPlant());
    {
        // The drive's time starts when it is installed, somewhere between
        // these two readings of the host clock.
        const double installing = clock.Now();
        const kx::VirtualDriveScope installed(drive);
        const double attached = clock.Now();
        QTest::qWait(120);
        // The follower has run it within a few of its 10 ms periods.
        EXPECT_GT(drive.Now(), clock.Now() - attached - 0.04);
        // An access runs the drive up to the moment it began, and never
        // beyond its end (less than one fast-loop sample of rounding).
        bool on = true;
        std::string error;
        QTest::qWait(5);
        const double before = clock.Now();
        ASSERT_TRUE(kx::GetVirtualDriveLink()->AxisOn(on, error));
        const double after = clock.Now();
        EXPECT_GE(drive.Now(), before - attached - 1e-3);
        EXPECT_LE(drive.Now(), after - installing + 1e-3);
    }
    clock.SetMode(kx::HostClock::Mode::Virtual);
}

TEST(DriveHost, ScriptStepsActOnTheDriveOrFailWithTheirLine) {
    vdrive::VirtualDrive drive(DefaultPlant());
    const auto run = [](const std::string& steps) {
        return dctest::RunScript("message \"Go on?\"\n" + steps + "click ok\n", AskSomething);
    };
    {
        const kx::VirtualDriveScope installed(drive);
        const double start = kx::HostClock::Instance().Now();
        const double angle = drive.GetStatus().motorAngle;
        const auto acted =
            run("turn motor 3.14159 0.4\nturn load -1 0.2\nsupply 30\nblock on\nfault limit-positive on\n");
        EXPECT_HELD(acted);
        EXPECT_EQ(acted.result, IDOK);
        // Each turn took its time in host time.
        EXPECT_NEAR(kx::HostClock::Instance().Now() - start, 0.6, 1e-9);
        const vdrive::Status status = drive.GetStatus();
        EXPECT_NEAR(status.motorAngle - angle, 3.14159 - 1.0 * drive.GetPlant().load.ratio, 0.02);
        EXPECT_NEAR(status.supply, 30.0, 0.5);
        EXPECT_TRUE(drive.GetPlant().shaftBlocked);
        EXPECT_TRUE(drive.FaultOn(vdrive::Fault::LimitPositive));
        EXPECT_EQ(run("turn motor 1\n").failure,
                  "line 2: turn motor 1: did not hold: the motor shaft is blocked (block on): it cannot "
                  "be turned by hand");
    }
    EXPECT_EQ(run("supply 24\n").failure,
              "line 2: supply 24: did not hold: no virtual drive is connected to the host");
}

// Run at 100 % and under QT_SCALE_FACTOR=2: every caption fits its control.
// With DCDRIVE_SCREENSHOTS the panel is saved for a look.
TEST(DriveHost, ThePanelShowsTheDriveSwitchesItsFaultsAndTurnsUnderAModalDialog) {
    vdrive::VirtualDrive drive(DefaultPlant());
    const kx::VirtualDriveScope installed(drive);
    QWidget* panel = kx::ShowVirtualDrivePanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->windowTitle(), "Virtual Drive");
    // The Turn button takes a click from the window system while a modal
    // dialog is open, as a person's click would reach it.
    const double before = drive.GetStatus().motorAngle;
    bool clicked = false;
    QDialog dialog;
    dialog.setWindowTitle("Modal");
    QTimer::singleShot(0, &dialog, [&] {
        QTest::qWait(50);  // the panel follows the modal window on top
        auto* turn = panel->findChild<QPushButton*>("turn");
        ASSERT_NE(turn, nullptr);
        const QPoint at = turn->mapTo(panel, turn->rect().center());
        QTest::mouseClick(panel->windowHandle(), Qt::LeftButton, {}, at);
        clicked = true;
        kx::HostClock::Instance().AdvanceTo(kx::HostClock::Instance().Now() + 1.0);
        dialog.reject();
    });
    dialog.exec();
    EXPECT_TRUE(clicked);
    EXPECT_NEAR(drive.GetStatus().motorAngle - before, 2.0 * std::numbers::pi, 0.02);

    for (int i = 0; i <= static_cast<int>(vdrive::Fault::NoProgram); ++i) {
        const auto fault = static_cast<vdrive::Fault>(i);
        auto* box = panel->findChild<QCheckBox*>(vdrive::FaultName(fault));
        ASSERT_NE(box, nullptr) << vdrive::FaultName(fault);
        EXPECT_EQ(box->text(), vdrive::FaultName(fault));
        box->click();
        EXPECT_TRUE(drive.FaultOn(fault)) << vdrive::FaultName(fault);
        box->click();
        EXPECT_FALSE(drive.FaultOn(fault)) << vdrive::FaultName(fault);
    }
    // What a script switches shows on the panel once it looks again.
    drive.SetFault(vdrive::Fault::EnableOff, true);
    drive.SetSupply(24.0);
    drive.SetBlocked(true);
    QTest::qWait(250);
    EXPECT_TRUE(panel->findChild<QCheckBox*>("enable-off")->isChecked());
    EXPECT_TRUE(panel->findChild<QCheckBox*>("block")->isChecked());
    EXPECT_FALSE(panel->findChild<QPushButton*>("turn")->isEnabled());  // a blocked shaft does not turn
    bool shown = false;
    for (QLabel* label : panel->findChildren<QLabel*>()) shown = shown || label->text().startsWith("24.");
    EXPECT_TRUE(shown) << "the supply of 24 V is not shown";
    for (QWidget* widget : panel->findChildren<QWidget*>()) {
        if (!widget->isVisible() ||
            !(qobject_cast<QLabel*>(widget) || qobject_cast<QAbstractButton*>(widget)))
            continue;
        EXPECT_GE(widget->width(), widget->minimumSizeHint().width()) << widget->objectName().toStdString();
        EXPECT_TRUE(panel->rect().contains(QRect(widget->mapTo(panel, QPoint(0, 0)), widget->size())));
    }
    if (const char* dir = std::getenv("DCDRIVE_SCREENSHOTS")) {
        const int scale = static_cast<int>(panel->devicePixelRatioF() * 100);
        const auto path = std::filesystem::path(dir) / ("virtual-drive-" + std::to_string(scale) + ".png");
        EXPECT_TRUE(panel->grab().save(QString::fromStdString(path.string())));
    }
    kx::CloseVirtualDrivePanel();
    EXPECT_EQ(kx::VirtualDrivePanel(), nullptr);
}

}  // namespace
