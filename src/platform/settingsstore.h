#pragma once

#include <QString>

#include <memory>

class QSettings;

namespace kelvara {

// The per-user settings store: on Windows the registry under HKEY_CURRENT_USER, elsewhere one
// INI file per user (Qt's user-scope file for "Kelvara", $XDG_CONFIG_HOME/Kelvara/Kelvara.ini).
// Key paths are written the registry's way ("\Software\Kelvara\TForm1") and opened as groups.
class SettingsStore
{
public:
    // The store at the per-user root. Reading never fails; a store that cannot be written says
    // so through QSettings::status() after sync().
    static std::unique_ptr<QSettings> open();

    // Why the store's file is neither read nor written, or empty: only a regular file, or a link
    // to one, is replaced by a save; anything else (a device, a pipe, a link to nothing) is left
    // as it is. Gives the file's name and the cause, such as "… is not a regular file".
    static QString refusal();

    // Where the settings are kept, as the user would look for them: the INI file's name, or the
    // registry's "HKEY_CURRENT_USER".
    static QString location();

    // The group a registry-style key path names: "\Software\X" -> "Software/X".
    static QString group(const QString &keyPath);

    // Tests point the store at an INI file of their own; an empty name gives back the user's.
    static void useFile(const QString &iniFile);
};

// Points the store at a file for the lifetime of a test and gives the user's store back after.
class SettingsFileScope
{
public:
    explicit SettingsFileScope(const QString &iniFile) { SettingsStore::useFile(iniFile); }
    ~SettingsFileScope() { SettingsStore::useFile(QString()); }
    SettingsFileScope(const SettingsFileScope &) = delete;
    SettingsFileScope &operator=(const SettingsFileScope &) = delete;
};

}  // namespace kelvara
