// The commissioning tests' templates, images and bitmaps.
#include <QDialog>

#include "TestAnalogueRef.h"
#include "TestCurrent.h"
#include "TestDialogs.h"
#include "TestEncoderConnections.h"
#include "TestPositionTuning.h"
#include "TestSpeedTuning.h"
#include "TestVdcDetection.h"
#include "TotalInertiaTest.h"
#include "ui_TestAnalogueRef.h"
#include "ui_TestCurrent.h"
#include "ui_TestEncoderConnections.h"
#include "ui_TestPositionTuning.h"
#include "ui_TestSSIEncoderConnections.h"
#include "ui_TestSpeedTuning.h"
#include "ui_TestVdcDetection.h"
#include "ui_TotalInertiaTest.h"

namespace dcdrive {

const kx::ResourceModule& TestResources() {
    static const kx::ResourceModule module{
        "dcdrive-tests",
        {
            {kTestCurrentTemplate, &kx::BuildForm<Ui::CTestCurrent>},
            {kTestVdcDetectionTemplate, &kx::BuildForm<Ui::CTestVdcDetection>},
            {kAnalogueRefTestTemplate, &kx::BuildForm<Ui::CTestAnalogueRef>},
            {kEncoderTestTemplate, &kx::BuildForm<Ui::CTestEncoderConnections>},
            {kSsiEncoderTestTemplate, &kx::BuildForm<Ui::CTestSSIEncoderConnections>},
            {kTestSpeedTuningTemplate, &kx::BuildForm<Ui::CTestSpeedTuning>},
            {kTestPositionTuningTemplate, &kx::BuildForm<Ui::CTestPositionTuning>},
            {kTotalInertiaTestTemplate, &kx::BuildForm<Ui::CTotalInertiaTest>},
        },
        {},
        {
            {kBlockedShaftBitmap, ":/dcdrive/images/blocked_shaft.svg"},
            {kVdcDetectionBitmap, ":/dcdrive/images/vdc_detection.svg"},
            {kPotentiometerBitmap, ":/dcdrive/images/analogue_potentiometer.svg"},
            {kTurnShaftBitmap, ":/dcdrive/images/turn_motor_shaft.svg"},
            {kSpeedTestBitmap, ":/dcdrive/images/speed_test.svg"},
            {kPositionTestBitmap, ":/dcdrive/images/position_test.svg"},
            {kPositiveProfileBitmap, ":/dcdrive/images/profile_positive.svg"},
            {kNegativeProfileBitmap, ":/dcdrive/images/profile_negative.svg"},
            {kBidirectionalProfileBitmap, ":/dcdrive/images/profile_bidirectional.svg"},
            {kMotionCompleteBitmap, ":/dcdrive/images/motion_complete.svg"},
            {kFreeShaftBitmap, ":/dcdrive/images/free_shaft_with_load.svg"},
        },
        {},
        {},
    };
    return module;
}

}  // namespace dcdrive
