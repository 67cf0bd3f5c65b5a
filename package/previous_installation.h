// Proposes the destination folder for a setup type: its default folder, or
// the folder a previous installation remembered in the registry or an INI
// file, shrunk to the deepest folder that exists and spelt as the file
// system spells it.
#pragma once
#include <cstdint>

// Leaves the proposal in the process-wide destination folder. The record
// must have been validated.
void DetectPreviousInstallation(const uint8_t* record);
