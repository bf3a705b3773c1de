// The motor and its load as the power stage drives them: the armature's RL
// circuit integrated exactly over a step of constant voltage and back-EMF,
// the mechanics semi-implicitly with viscous and Coulomb friction (a
// stiction band that stops and holds the shaft instead of chattering), the
// clamp of a blocked shaft and the turns of a hand on the shaft.
#pragma once

#include <deque>

#include "VirtualDrive.h"

namespace vdrive {

class Axis {
public:
    explicit Axis(const Plant& plant) : m_plant(plant) {}

    // The step length; call again when the plant or the step changes.
    void Configure(double step);

    // One step: with the bridge on, `duty` (−1..1) × the supply across the
    // motor; with it off, the free-wheeling diodes put the supply against the
    // current until it has died out.
    void Step(bool bridgeOn, double duty);

    // A hand turns the motor shaft by `radians` at a constant rate over
    // `seconds` (at once for 0); turns queue.
    void Turn(double radians, double seconds);

    double current = 0.0;  // A
    double speed = 0.0;    // rad/s at the motor
    double angle = 0.0;    // rad at the motor

private:
    struct HandTurn {
        double radians;
        double seconds;
        double elapsed = 0.0;
        double start = 0.0;  // the angle when the turn began
    };
    const Plant& m_plant;
    std::deque<HandTurn> m_turns;
    double m_step = 5e-5;
    double m_alpha = 0.0;  // e^(−step R/L)
    double m_inertia = 0.0;
};

}  // namespace vdrive
