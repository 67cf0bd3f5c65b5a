// The builder's built-in dialogs: compiled Win32 in-memory dialog templates
// (DLGTEMPLATE with DLGITEMTEMPLATE items) for every template number the
// setup program shows, and the dialog template table record that holds them.
// Plain C++ without platform headers: the Windows-side tests build it too.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "package/package_format.h"

// The buttons' captions, in UTF-16 as templates hold them; the setup
// program relabels most buttons from group 7 of the string table, so these
// are what shows before it does, and on the destination page's browse button.
struct DialogCaptions {
    std::u16string back = u"< &Back", next = u"&Next >", cancel = u"Cancel", browse = u"B&rowse...", ok = u"OK",
                   browser_cancel = u"Cancel";
};

// One template per template number 0 to kTemplateCount - 1: main dialog
// (framed, full-screen), destination, information, progress, welcome/ready,
// finish, folder browser, setup type page.
std::vector<std::vector<uint8_t>> DefaultDialogTemplates(const DialogCaptions& captions = {});

// The body of the dialog template table record: a u32 offset per template
// number, then the templates, each at a 4-byte aligned offset. Throws
// std::invalid_argument unless there are exactly kTemplateCount non-empty
// templates (the setup program reads the offset of every template number
// without knowing the table's length), and std::length_error when the table
// runs on for more than kTemplateCopySize bytes after a template's offset:
// the setup program copies a template and everything after it into a block
// of that size.
std::vector<uint8_t> BuildDialogTemplateTable(const std::vector<std::vector<uint8_t>>& templates);
