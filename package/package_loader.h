// Reads the package behind the stub: every record body into the setup
// configuration, and where the file archive starts.
#pragma once
#include <cstdint>

// Loads the package of the setup file named by the source path, whose stub
// is stub_length bytes long. False when the package cannot be used; a
// damaged or incomplete one is reported with the message at group 6, index
// 31 when that text can be read; so is one whose integrity record does not
// match the file (package/integrity.h), which is read whole for the check.
// A signed file's package ends where its certificate table starts. Every body is checked against its length
// before anything uses it.
bool LoadPackage(uint32_t stub_length);
