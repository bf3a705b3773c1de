#include "Axis.h"

#include <algorithm>
#include <cmath>

namespace vdrive {

void Axis::Configure(double step) {
    m_step = step;
    const double l = m_plant.motor.inductance;
    m_alpha = l > 0.0 ? std::exp(-step * m_plant.motor.resistance / l) : 0.0;
    m_inertia = m_plant.motor.inertia + m_plant.load.inertia;
}

void Axis::Turn(double radians, double seconds) {
    if (seconds <= 0.0) {
        angle += radians;
        return;
    }
    m_turns.push_back({radians, seconds});
}

void Axis::Step(bool bridgeOn, double duty) {
    const double h = m_step;
    const double k = m_plant.motor.torqueConstant;
    const double r = m_plant.motor.resistance;
    const double vs = m_plant.supplyVoltage;
    const double emf = k * speed;
    if (bridgeOn) {
        const double steady = (duty * vs - emf) / r;
        current = steady + (current - steady) * m_alpha;
    } else if (current != 0.0 || std::fabs(emf) > vs) {
        const double sign = current != 0.0 ? (current > 0.0 ? 1.0 : -1.0) : (emf > 0.0 ? -1.0 : 1.0);
        const double steady = (-sign * vs - emf) / r;
        const double next = steady + (current - steady) * m_alpha;
        current = next * sign > 0.0 ? next : 0.0;
    }

    if (m_plant.shaftBlocked) {
        speed = 0.0;
        m_turns.clear();
        return;
    }
    if (!m_turns.empty()) {
        HandTurn& turn = m_turns.front();
        if (turn.elapsed == 0.0) turn.start = angle;
        turn.elapsed += h;
        // The angle from the turn's start, so that it ends exactly where the
        // hand meant it to.
        if (turn.elapsed >= turn.seconds) {
            angle = turn.start + turn.radians;
            speed = 0.0;
            m_turns.pop_front();
        } else {
            angle = turn.start + turn.radians * (turn.elapsed / turn.seconds);
            speed = turn.radians / turn.seconds;
        }
        return;
    }
    const double b = m_plant.load.viscousFriction;
    const double torque = k * current - m_plant.load.torque;
    const double mass = m_inertia + h * b;
    const double free = (m_inertia * speed + h * torque) / mass;
    // Coulomb friction takes at most its impulse over the step: it stops the
    // shaft and holds it rather than reversing it.
    const double stiction = h * m_plant.load.coulombFriction / mass;
    speed = std::fabs(free) <= stiction ? 0.0 : free - std::copysign(stiction, free);
    angle += h * speed;
}

}  // namespace vdrive
