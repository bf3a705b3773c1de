#include "TestDialogs.h"

#include "TestAnalogueRef.h"
#include "TestCurrent.h"
#include "TestEncoderConnections.h"
#include "TestPositionTuning.h"
#include "TestSpeedTuning.h"
#include "TestVdcDetection.h"
#include "TotalInertiaTest.h"
#include "editors/SubDialogs.h"

namespace dcdrive {

void RegisterTestDialogs() {
    // The drive setup editor opens the speed and position tuning tests with
    // the flag 1 and no parent window.
    RegisterSubDialog(SubDialog::SpeedTuning,
                      [](CKX_Setup& setup, CWnd*) { return CTestSpeedTuning(setup, 1, nullptr).DoModal(); });
    RegisterSubDialog(SubDialog::PositionTuning, [](CKX_Setup& setup, CWnd*) {
        return CTestPositionTuning(setup, 1, nullptr).DoModal();
    });
    // The drive setup editor opens the current test with the flag 1 and no
    // parent window.
    RegisterSubDialog(SubDialog::CurrentTuning,
                      [](CKX_Setup& setup, CWnd*) { return CTestCurrent(setup, 1, nullptr).DoModal(); });
    RegisterSubDialog(SubDialog::SupplyVoltageDetection, [](CKX_Setup& setup, CWnd* parent) {
        return CTestVdcDetection(setup, 1, parent).DoModal();
    });
    RegisterSubDialog(SubDialog::AnalogueReferenceTest, [](CKX_Setup& setup, CWnd* parent) {
        return CTestAnalogueRef(setup, 1, parent).DoModal();
    });
    RegisterSubDialog(SubDialog::EncoderConnectionTest, [](CKX_Setup& setup, CWnd* parent) {
        return CTestEncoderConnections(setup, 1, parent).DoModal();
    });
    RegisterSubDialog(SubDialog::SsiEncoderConnectionTest, [](CKX_Setup& setup, CWnd* parent) {
        return CTestSSIEncoderConnections(setup, 1, parent).DoModal();
    });
    // The tuning tests' "Identify" opens the total inertia test with the flag 1
    // and no parent window.
    RegisterSubDialog(SubDialog::TotalInertiaTest,
                      [](CKX_Setup& setup, CWnd*) { return CTotalInertiaTest(setup, 1, nullptr).DoModal(); });
}

}  // namespace dcdrive
