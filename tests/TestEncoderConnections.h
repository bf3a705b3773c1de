// "Encoder Connections Test": checks the wiring of the position sensors
// while the user turns the shaft by hand. The incremental test watches the
// incremental or sine/cosine encoders of motor and load; the serial test an
// SSI or BiSS absolute encoder. Each starts its drive-resident program,
// shows the position counter and a turning shaft every 20 ms, and passes on
// Stop when the position moved. The motor setup's "Test Connections" buttons
// open them.
#pragma once

#include "MyTestDlg.h"
#include "kx/gui/Gauges.h"
#include "tests/EncoderTestRules.h"

inline constexpr unsigned kEncoderTestTemplate = 291;
inline constexpr unsigned kSsiEncoderTestTemplate = 3063;
// The picture of a hand turning the motor shaft (bitmap id).
inline constexpr unsigned kTurnShaftBitmap = 3511;

class CTestEncoderConnections : public CMyTestDlg {
public:
    CTestEncoderConnections(CKX_Setup& setup, int flag, CWnd* parent);
    ~CTestEncoderConnections() override;

    void BeginTest() override;

protected:
    BOOL OnInitDialog() override;
    void OnTimer(UINT id) override;
    const kx::MessageMap* GetMessageMap() const override;
    unsigned GetHelpContext() const override;

    // Start, or Stop with the verdict (replaces the host's handling).
    void OnStartStop();

private:
    struct Channel {
        dcdrive::EncoderSide side;
        unsigned field;  // the counter's field
        CEncoderDiagram diagram;
        dcdrive::PhaseWatch phase;
    };
    void ShowCounter(Channel& channel, double position);
    void SetInfo();

    Channel m_motor;
    Channel m_load;
};

class CTestSSIEncoderConnections : public CMyTestDlg {
public:
    CTestSSIEncoderConnections(CKX_Setup& setup, int flag, CWnd* parent);
    ~CTestSSIEncoderConnections() override;

    void BeginTest() override;

protected:
    BOOL OnInitDialog() override;
    void OnTimer(UINT id) override;
    const kx::MessageMap* GetMessageMap() const override;
    unsigned GetHelpContext() const override;

    void OnStartStop();

private:
    void SetInfo();

    dcdrive::SerialEncoderSource m_source;
    CEncoderDiagram m_diagram;
    CPhaseDiagram m_phases;
    dcdrive::PhaseWatch m_phase;
};
