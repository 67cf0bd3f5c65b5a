// The setup file's face to the system: the product's icon, its version
// resource and the application manifest, written into the setup program's
// resources by the builder (through builder/program/pe_resources.h).
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "builder/manifest/product.h"

// The icon group the setup program loads for its window class.
constexpr uint16_t kSetupIconGroup = 800;

// Returns a problem with an .ico file, or "" when the setup program can
// carry it: a header of type 1 with at least one image, every image within
// the file.
std::string IconProblem(const Bytes& ico);

// "1", "1.2", "1.2.3" or "1.2.3.4", each part 0 to 65535; nothing else.
bool ReadVersionText(const std::string& text, std::array<uint16_t, 4>& parts);

// VS_VERSIONINFO with the fixed file information (from the version text,
// zero without one) and the texts in UTF-16, US English, Unicode.
Bytes VersionResource(const SetupIdentity& identity);

// The application manifest: the Windows versions the program knows, system
// DPI awareness, common controls 6, and the execution level the identity
// asks for.
std::string ApplicationManifest(bool administrator);

// A program (the uninstaller) with the application manifest for the
// execution level in place of its own, so that Windows elevates it as it
// does the setup program that installed it. Throws BuildError.
Bytes WithApplicationManifest(const Bytes& program, bool administrator);

// The setup program with the identity's icon (when given), version
// resource and manifest in place of its own. Throws BuildError.
Bytes DressSetupProgram(const Bytes& stub, const SetupIdentity& identity);
