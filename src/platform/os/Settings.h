#pragma once
// Per-user settings store addressed by application, section and key (an INI file readable by the user
// only, since cubes' connection strings land there). A setting never written reads as the default.
#include <QString>
#include <QStringList>

namespace bd::os {

QString GetSetting(const QString& app, const QString& section, const QString& key,
                   const QString& def = QString());
void SaveSetting(const QString& app, const QString& section, const QString& key, const QString& value);
void DeleteSetting(const QString& app, const QString& section, const QString& key = QString());
QStringList GetAllSettingKeys(const QString& app, const QString& section);

// Path of the settings file (inside ConfigPath()).
QString settingsFilePath();

} // namespace bd::os
