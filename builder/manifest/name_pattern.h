// File name patterns in a manifest's sources ("*.dll", "lib?.so",
// "[a-c]*.txt"), matched the same way on every system kiln runs on.
#pragma once
#include <string>

// True when name matches pattern: '*' any run of characters, '?' one
// character, "[...]" one of a set or range ("[!...]" or "[^...]" none of
// them), '\' takes the next character as it is. A name's leading '.' must
// be matched by a '.' in the pattern, so "*" passes over hidden files.
// Case counts; characters are bytes (UTF-8 names compare byte for byte).
bool NameMatchesPattern(const std::string& pattern, const std::string& name);
