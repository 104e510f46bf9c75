#pragma once

// The settings in HKEY_CURRENT_USER\SOFTWARE\Tessera, with the installer's language in
// SOFTWARE\Tessera_Init on the first run. The key stays open until the process ends.
bool init_settings();
void set_default_settings();
void load_settings();
void save_settings();
void read_installer_language();
