// The builder's built-in dialogs: compiled Win32 in-memory dialog templates
// (DLGTEMPLATE with DLGITEMTEMPLATE items) for every template number the
// setup program shows, and the dialog template table record that holds them.
// Plain C++ without platform headers: the Windows-side tests build it too.
#pragma once
#include <cstdint>
#include <vector>

#include "package/package_format.h"

// One template per template number 0 to kTemplateCount - 1: main dialog
// (framed, full-screen), destination, information, progress, welcome/ready,
// finish, folder browser, setup type page.
std::vector<std::vector<uint8_t>> DefaultDialogTemplates();

// The body of the dialog template table record: a u32 offset per template
// number, then the templates, each at a 4-byte aligned offset. Throws
// std::invalid_argument unless there are exactly kTemplateCount non-empty
// templates (the setup program reads the offset of every template number
// without knowing the table's length), and std::length_error when the table
// runs on for more than kTemplateCopySize bytes after a template's offset:
// the setup program copies a template and everything after it into a block
// of that size.
std::vector<uint8_t> BuildDialogTemplateTable(const std::vector<std::vector<uint8_t>>& templates);
