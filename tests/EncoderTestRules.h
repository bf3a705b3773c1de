// What the encoder connection tests decide without widgets: which encoders
// the setup has, the phase of a position counter and whether a new phase
// counts as an encoder pulse, the shaft angle a counter stands for, and
// which counter and resolution the serial (SSI/BiSS) encoder test reads.
#pragma once

#include <cstdint>
#include <string>

#include "conversions/Codes.h"
#include "kx/Setup.h"

namespace dcdrive {

inline constexpr const char* kEncoderTestTitle = "Encoder Connections Test";
inline constexpr const char* kEncoderTestPurpose = "Checks presence of encoder signals A and B.";
inline constexpr const char* kSsiEncoderTestPurpose = "Checks position reading from the SSI encoder.";
inline constexpr const char* kBissEncoderTestPurpose = "Checks position reading from the BiSS encoder.";

// The runs' info texts, by stage; the last is the text of a run in which no
// encoder moved.
inline constexpr const char* kEncoderTestInfo[] = {
    "Launching code for test",
    "Running test",
    "No encoder pulses have been detected.\r\nCheck the encoder connection and power supply.",
};
inline constexpr const char* kNoEncoderPulsesText = kEncoderTestInfo[2];

// An incremental or sine/cosine encoder as the test watches it.
struct EncoderSide {
    SensorType sensor = SensorType::None;  // truncated "MotorSensorType" / "LoadSensorType"
    int lines = 0;                         // truncated "No_encoder_lines" / "No_encoder_lines_LD"
    int interpolationBits = 0;             // "SINCOS_fract" / "SINCOS_fract_LD" of a sine/cosine encoder
};
EncoderSide MotorEncoderOf(const CKX_Setup& setup);
EncoderSide LoadEncoderOf(const CKX_Setup& setup);

// The phase of a position counter: the counter modulo `modulus`, in
// [0, |modulus|) (0 for a modulus of 0).
std::uint32_t CounterPhase(std::int64_t position, std::int64_t modulus);

// The phase of an incremental counter: modulo 4 x lines, the counts of one
// revolution of the encoder's signals A and B.
std::uint32_t IncrementalPhase(std::int64_t position, int lines);

// The shaft angle in radians that an incremental or sine/cosine counter
// stands for: 4 x N counts per revolution, N = lines (x 2^interpolation bits
// for a sine/cosine encoder).
double EncoderShaftAngle(double position, const EncoderSide& side);

// Follows the phase of one counter from tick to tick. A phase that differs
// from the one before moves the picture; it counts as a pulse when it is not
// 0, so that a counter that only returns to 0 (a whole number of
// revolutions) is not taken for a working encoder. The first reading of a
// run only sets where the counter starts: a counter left off zero by an
// earlier run, or an absolute encoder standing anywhere in its turn, is not
// movement.
class PhaseWatch {
public:
    // A new run: phase 0, no reading yet, no pulse seen.
    void Restart();
    // Takes the phase of this tick; true when it differs from the last one.
    bool Take(std::uint32_t phase);
    std::uint32_t Phase() const { return m_phase; }
    bool PulsesSeen() const { return m_pulses; }

private:
    std::uint32_t m_phase = 0;
    bool m_started = false;
    bool m_pulses = false;
};

// What the serial encoder test reads: the motor's counter and resolution
// when the motor has an SSI or BiSS encoder, else the load's.
struct SerialEncoderSource {
    bool load = false;
    const char* counter = nullptr;  // "APOS_MT" or "APOS_LD"
    int bits = 0;                   // truncated bits per revolution of that encoder
};
SerialEncoderSource SerialEncoderSourceOf(const CKX_Setup& setup);

// Counts per revolution of a serial encoder of `bits` bits: 2^bits (bits
// beyond 31 are taken as 31, fewer than 0 as 0).
std::int64_t SerialEncoderRange(int bits);

// The shaft angle of a serial encoder position: 2 x position x pi / range.
double SerialShaftAngle(double position, std::int64_t range);

// The purpose text of the serial encoder test: BiSS when "SSITYPE" is 2.
const char* SerialEncoderPurpose(const CKX_Setup& setup);

}  // namespace dcdrive
