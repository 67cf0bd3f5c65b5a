// Dialogs that authors draw with the usual resource tools: the dialog
// resources of a compiled resource file (.res, as windres or rc make it
// from a .rc script), and the check that a template has every control the
// setup program relies on.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// The dialog resources with a numeric name, by that number. Throws
// std::runtime_error naming the fault when the file is not a resource file.
std::map<uint16_t, std::vector<uint8_t>> DialogResources(const std::vector<uint8_t>& res);

// Why the template for `template_number` cannot serve the setup program
// (it does not hold together, or lacks a control the program cannot do
// without, with that control's role), or nothing when it can.
// setup_types is the number of setup types, whose radio buttons the setup
// type page needs.
std::optional<std::string> TemplateProblem(int template_number, const std::vector<uint8_t>& dialog, int setup_types);
