#pragma once
// Machine facts that the program reads once at start-up.
#include <QString>
#include <cstdint>
#include <optional>

namespace bd::os {

// Stand-in for the system volume's serial number: a stable signed 32-bit value derived from
// /etc/machine-id (0 when unreadable).
int32_t volumeSerial();
// Derives the serial from a machine-id text (exposed for tests).
int32_t serialFromMachineId(const QString& machineId);

// The user's locale decimal separator (overridable for tests).
QString decimalSeparator();
void setDecimalSeparatorOverride(std::optional<QString> sep);

// Absolute path of an existing file or folder, "" otherwise.
QString longPathName(const QString& path);

// Overrides for tests.
void setMachineIdPath(const QString& path);

} // namespace bd::os
