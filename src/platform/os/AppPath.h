#pragma once
#include <QString>

namespace bd::os {

// The program's folder: BRINTOVA_HOME when set, else the executable's own folder. No trailing slash.
QString AppPath();

// The user's configuration folder of the program (settings, registry layer); BRINTOVA_CONFIG overrides.
QString ConfigPath();

// The user's data folder (desktop integration files); BRINTOVA_DATA overrides.
QString DataPath();

} // namespace bd::os
