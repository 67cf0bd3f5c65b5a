// Whether a setup file's certificate table holds a signature: a
// WIN_CERTIFICATE of revision 0x0200 and type 2 (PKCS#7 SignedData) whose
// certificate is a DER SEQUENCE that parses within it. Any other bytes the
// security directory names only move the package's end; they sign nothing.
#pragma once
#include <cstdint>
#include <string>

#include "builder/product.h"

// "" when the file's certificate table holds a signature, else why not
// ("no certificate table" for an unsigned file).
std::string SignatureProblem(const Bytes& file);
