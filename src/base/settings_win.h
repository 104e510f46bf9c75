#pragma once

// The settings in HKEY_CURRENT_USER\SOFTWARE\Tessera, with the installer's language in
// SOFTWARE\Tessera_Init on the first run. The key stays open until the process ends.
bool init_settings();
void set_default_settings();
void load_settings();
void save_settings();
void read_installer_language();
// Only the language, as init_settings would find it, for a helper program that must not create
// or change anything: the stored setting, or the installer's choice before Tessera first ran.
void read_language_setting();
