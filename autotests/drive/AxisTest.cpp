#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <utility>

#include "drive/Axis.h"

using vdrive::Axis;
using vdrive::Plant;

namespace {

constexpr double kStep = 5e-5;

// With the shaft clamped and a constant voltage the armature current follows V/R (1 − e^(−tR/L)) exactly at
// every step, for steps short and long against L/R. With the bridge switched off the diodes then drive the
// current to zero and keep it there.
TEST(Axis, RlStepWithTheShaftBlockedFollowsTheClosedForm) {
    for (const auto& [r, l, duty] : {std::tuple{4.0, 0.0001, -0.5}, {0.5, 0.01, 1.0}}) {
        Plant plant;
        plant.motor.resistance = r;
        plant.motor.inductance = l;
        plant.shaftBlocked = true;
        Axis axis(plant);
        axis.Configure(kStep);
        const double v = duty * plant.supplyVoltage;
        for (int n = 1; n <= 200; ++n) {
            axis.Step(true, duty);
            const double expected = v / r * (1.0 - std::exp(-n * kStep * r / l));
            ASSERT_NEAR(axis.current, expected, 1e-9 * std::fabs(v / r)) << "R " << r << " step " << n;
        }
        EXPECT_EQ(axis.speed, 0.0);
        EXPECT_EQ(axis.angle, 0.0);
        for (int n = 0; n < 400; ++n) axis.Step(false, 0.0);
        EXPECT_EQ(axis.current, 0.0) << "R " << r;
    }
}

// A constant torque on a free shaft: ω = T t / J and θ = T t² / (2J) (the semi-implicit angle runs one step
// ahead: T t (t + h) / (2J)). Coulomb friction takes its share once the torque overcomes it, else holds it.
TEST(Axis, ConstantTorqueAccelerationAndStiction) {
    for (const auto& [torque, coulomb] : {std::pair{0.01, 0.0}, {-0.02, 0.005}, {0.004, 0.005}}) {
        Plant plant;
        plant.load.torque = -torque;  // a load torque against the shaft, so −torque drives it
        plant.load.coulombFriction = coulomb;
        Axis axis(plant);
        axis.Configure(kStep);
        const double j = plant.motor.inertia + plant.load.inertia;
        const double net = std::fabs(torque) <= coulomb ? 0.0 : torque - std::copysign(coulomb, torque);
        const int steps = 400;
        for (int n = 0; n < steps; ++n) axis.Step(false, 0.0);
        const double t = steps * kStep;
        EXPECT_NEAR(axis.speed, net * t / j, 1e-9 + 1e-9 * std::fabs(net * t / j));
        EXPECT_NEAR(axis.angle, net * t * (t + kStep) / (2.0 * j), 1e-12 + 1e-9 * std::fabs(net * t * t / j));
        EXPECT_EQ(axis.current, 0.0);  // the back-EMF stays below the supply
    }
}

// Viscous friction and the back-EMF bring a driven shaft to where the torques balance: ω = K V / (K² + b R).
TEST(Axis, SteadySpeedBalancesBackEmfAndFriction) {
    Plant plant;
    plant.load.viscousFriction = 2e-4;
    Axis axis(plant);
    axis.Configure(kStep);
    for (int n = 0; n < 40000; ++n) axis.Step(true, 0.2);
    const double k = plant.motor.torqueConstant, v = 0.2 * plant.supplyVoltage;
    EXPECT_NEAR(axis.speed, k * v / (k * k + plant.load.viscousFriction * plant.motor.resistance), 1e-3);
}

}  // namespace
