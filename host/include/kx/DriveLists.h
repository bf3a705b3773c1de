// The lists of the motor editor that depend on the drive: sensor types and
// feedback connectors for the motor and the load, computed without widgets.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "kx/Kernel.h"
#include "kx/Setup.h"

namespace kx {

// One entry of a drop-down list: its text and the value it stands for.
struct ListEntry {
    std::string text;
    int data = 0;
    bool operator==(const ListEntry&) const = default;
};

// A sensor selection: type codes and feedback connectors of motor and load.
struct SensorSelection {
    int motorType = 0;
    int motorConnector = 0;
    int loadType = 0;
    int loadConnector = 0;
    bool operator==(const SensorSelection&) const = default;
};

struct SensorCombos {
    std::vector<ListEntry> motorTypes, motorConnectors, loadTypes, loadConnectors;
    SensorSelection selection;  // the consistent selection that the lists show
};

// Computes the four lists and a consistent selection from the drive and the
// present selection:
// - the type lists hold "None" and the kinds the drive offers on that side
//   (a tachogenerator only on the motor; a kind that needs a feedback
//   connector only when the drive has one);
// - a type that is not offered becomes "None";
// - a tachogenerator is read through an analogue input and takes no feedback
//   connector; every other sensor takes one, and motor and load never share
//   it: the side that `changed` names ("MotorSensorType",
//   "MotorSensorConnector", "LoadSensorType", "LoadSensorConnector", any
//   letter case) keeps its choice, the motor having priority when nothing
//   was changed. A chosen connector stays and the other side moves to a free
//   one; a chosen sensor type takes a free connector itself, so that the
//   sensor already wired stays where it is, and only when none is free does
//   the other side give way. A side that finds no free connector drops its
//   sensor to "None";
// - a connector outside the drive's connectors becomes the first free one
//   (0 for a side that takes none).
// The connector lists hold every connector of the drive, the load's without
// the one the motor's sensor takes.
KX_API SensorCombos ComputeSensorCombos(const DriveDescription& drive, const SensorSelection& present,
                                        std::string_view changed = {});

// The display name of a feedback connector: its name in the drive's list,
// else the first token of its sensor line, else "Feedback #<n>".
KX_API std::string ConnectorName(const DriveDescription& drive, int connector);

}  // namespace kx
