// The controls the setup program looks up in each dialog template, with the
// part of the program that uses them. Shared by the template tests of both
// trees.
#pragma once
#include <cstdint>

namespace required_controls {

enum Kind : uint16_t { kButton = 0x80, kEdit = 0x81, kStatic = 0x82, kListBox = 0x83, kComboBox = 0x85 };
enum Visibility { kShown, kHidden, kEither };
constexpr int kAnyType = -1;
// Button types (low four style bits) that behaviour depends on.
constexpr int kPush = 0, kDefPush = 1, kAutoCheck = 3, kAutoRadio = 9;

struct RequiredControl {
    int template_number;
    uint16_t id;
    Kind kind;
    Visibility visibility;  // kHidden: the program draws into its rectangle, or relies on the template hiding it
    int button_type;  // kAnyType, or the BS_ type it must have
    const char* use;
};

constexpr RequiredControl kRequiredControls[] = {
    // Main dialog, framed (0) and full-screen (1): page runner and dialog drawing.
    {0, 1, kButton, kShown, kDefPush, "Next, the default button"},
    {0, 2, kButton, kShown, kAnyType, "Cancel"},
    {0, 1007, kButton, kShown, kAnyType, "Back"},
    {0, 1006, kStatic, kHidden, kAnyType, "placeholder: pages go to its top-left corner"},
    {0, 1011, kStatic, kHidden, kAnyType, "side picture rectangle"},
    {0, 1012, kStatic, kHidden, kAnyType, "sunken frame drawn by the main dialog"},
    {1, 1, kButton, kShown, kDefPush, "Next, the default button"},
    {1, 2, kButton, kShown, kAnyType, "Cancel"},
    {1, 1007, kButton, kShown, kAnyType, "Back"},
    {1, 1006, kStatic, kHidden, kAnyType, "placeholder: pages go to its top-left corner"},
    {1, 1011, kStatic, kHidden, kAnyType, "side picture rectangle"},
    {1, 1012, kStatic, kHidden, kAnyType, "sunken frame drawn by the main dialog"},
    // Destination page.
    {2, 1000, kStatic, kShown, kAnyType, "group 2, index 1"},
    {2, 1001, kStatic, kShown, kAnyType, "group 2, index 2; disk check notice"},
    {2, 1002, kStatic, kShown, kAnyType, "group 2, index 3"},
    {2, 1003, kStatic, kShown, kAnyType, "group 2, index 4"},
    {2, 1004, kEdit, kShown, kAnyType, "destination folder"},
    {2, 1005, kButton, kShown, kAnyType, "Browse"},
    {2, 1016, kStatic, kShown, kAnyType, "required megabytes"},
    {2, 1017, kStatic, kShown, kAnyType, "group 2, index 5"},
    {2, 1018, kStatic, kShown, kAnyType, "group 2, index 6"},
    {2, 1019, kStatic, kShown, kAnyType, "free megabytes"},
    // Information page.
    {3, 1000, kStatic, kShown, kAnyType, "information text, group 1, index 1"},
    {3, 1001, kStatic, kShown, kAnyType, "group 1, index 2"},
    {3, 1002, kStatic, kShown, kAnyType, "group 1, index 3"},
    {3, 1003, kStatic, kShown, kAnyType, "group 1, index 4"},
    // Progress page.
    {4, 1000, kStatic, kShown, kAnyType, "group 4, index 1"},
    {4, 1001, kStatic, kShown, kAnyType, "group 4, index 2"},
    {4, 1002, kStatic, kShown, kAnyType, "group 4, index 3"},
    {4, 1003, kStatic, kShown, kAnyType, "group 4, index 4"},
    {4, 1008, kStatic, kShown, kAnyType, "file being installed"},
    {4, 1009, kStatic, kHidden, kAnyType, "progress bar rectangle, painted by the page"},
    {4, 1010, kStatic, kShown, kAnyType, "percentage"},
    // Welcome and ready page.
    {5, 1000, kStatic, kShown, kAnyType, "index 1"},
    {5, 1001, kStatic, kShown, kAnyType, "index 2; the ready page's folder text"},
    {5, 1002, kStatic, kShown, kAnyType, "index 3"},
    {5, 1003, kStatic, kShown, kAnyType, "index 4"},
    // Finish page.
    {6, 1000, kStatic, kShown, kAnyType, "group 5, index 1; the framed error text"},
    {6, 1001, kStatic, kShown, kAnyType, "group 5, index 2"},
    {6, 1002, kStatic, kShown, kAnyType, "group 5, index 3"},
    {6, 1003, kStatic, kShown, kAnyType, "group 5, index 4; restart notice"},
    {6, 1014, kButton, kEither, kPush, "open the document"},
    {6, 1015, kButton, kEither, kAutoCheck, "start the program afterwards"},
    // Folder browser: the hook's controls, then the old-style file dialog's own.
    {7, 101, kEdit, kShown, kAnyType, "the chosen folder"},
    {7, 1009, kStatic, kShown, kAnyType, "label, group 6, index 2"},
    {7, 1091, kStatic, kShown, kAnyType, "label, group 6, index 3 (the file dialog's stc4)"},
    {7, 1, kButton, kShown, kDefPush, "OK"},
    {7, 2, kButton, kShown, kAnyType, "Cancel"},
    {7, 0x0461, kListBox, kShown, kAnyType, "lst2: folders"},
    {7, 0x0471, kComboBox, kShown, kAnyType, "cmb2: drives"},
    {7, 0x0440, kStatic, kEither, kAnyType, "stc1: current folder"},
    {7, 0x0480, kEdit, kHidden, kAnyType, "edt1: file name, not asked for"},
    {7, 0x0460, kListBox, kHidden, kAnyType, "lst1: files, not shown"},
    {7, 0x0470, kComboBox, kHidden, kAnyType, "cmb1: file types, not shown"},
    {7, 0x0410, kButton, kHidden, kAnyType, "chx1: read-only box, not shown"},
    {7, 0x040E, kButton, kHidden, kAnyType, "pshHelp, not shown"},
    // Setup type page: radio buttons stay hidden unless a setup type uses them.
    {8, 1000, kStatic, kShown, kAnyType, "group 9, index 1"},
    {8, 1001, kStatic, kShown, kAnyType, "group 9, index 2"},
    {8, 1002, kStatic, kShown, kAnyType, "group 9, index 3"},
    {8, 1003, kStatic, kShown, kAnyType, "group 9, index 4"},
    {8, 1021, kButton, kHidden, kAutoRadio, "setup type 0"},
    {8, 1022, kButton, kHidden, kAutoRadio, "setup type 1"},
    {8, 1023, kButton, kHidden, kAutoRadio, "setup type 2"},
    {8, 1024, kButton, kHidden, kAutoRadio, "setup type 3"},
    {8, 1025, kButton, kHidden, kAutoRadio, "setup type 4"},
    {8, 1026, kButton, kHidden, kAutoRadio, "setup type 5"},
};

}  // namespace required_controls
