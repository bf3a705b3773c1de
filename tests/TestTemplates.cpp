// The commissioning tests' templates, images and bitmaps.
#include <QDialog>

#include "TestAnalogueRef.h"
#include "TestCurrent.h"
#include "TestDialogs.h"
#include "TestEncoderConnections.h"
#include "TestVdcDetection.h"
#include "ui_TestAnalogueRef.h"
#include "ui_TestCurrent.h"
#include "ui_TestEncoderConnections.h"
#include "ui_TestSSIEncoderConnections.h"
#include "ui_TestVdcDetection.h"

namespace dcdrive {
namespace {

template <class Form>
void Build(QDialog& dialog) {
    Form form;
    form.setupUi(&dialog);
}

}  // namespace

const kx::ResourceModule& TestResources() {
    static const kx::ResourceModule module{
        "dcdrive-tests",
        {
            {kTestCurrentTemplate, &Build<Ui::CTestCurrent>},
            {kTestVdcDetectionTemplate, &Build<Ui::CTestVdcDetection>},
            {kAnalogueRefTestTemplate, &Build<Ui::CTestAnalogueRef>},
            {kEncoderTestTemplate, &Build<Ui::CTestEncoderConnections>},
            {kSsiEncoderTestTemplate, &Build<Ui::CTestSSIEncoderConnections>},
        },
        {},
        {
            {kBlockedShaftBitmap, ":/dcdrive/images/blocked_shaft.svg"},
            {kVdcDetectionBitmap, ":/dcdrive/images/vdc_detection.svg"},
            {kPotentiometerBitmap, ":/dcdrive/images/analogue_potentiometer.svg"},
            {kTurnShaftBitmap, ":/dcdrive/images/turn_motor_shaft.svg"},
        },
        {},
        {},
    };
    return module;
}

}  // namespace dcdrive
