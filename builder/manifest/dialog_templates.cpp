#include "builder/manifest/dialog_templates.h"

#include <stdexcept>
#include <string>

namespace {

// Win32 values, spelled out: this file builds without windows.h.
enum : uint32_t {
    kChild = 0x40000000, kPopup = 0x80000000, kVisible = 0x10000000, kDisabled = 0x08000000,
    kClipChildren = 0x02000000, kCaption = 0x00C00000, kBorder = 0x00800000, kVScroll = 0x00200000,
    kSysMenu = 0x00080000, kMinimizeBox = 0x00020000, kGroup = 0x00020000, kTabStop = 0x00010000,
    kDs3dLook = 0x4, kDsSetFont = 0x40, kDsModalFrame = 0x80, kDsControl = 0x400,
    kPushButton = 0x0, kDefPushButton = 0x1, kAutoCheckBox = 0x3, kAutoRadioButton = 0x9,
    kEditAutoHScroll = 0x80,
    kStaticRight = 0x2, kStaticNoWordWrap = 0xC, kStaticNoPrefix = 0x80,
    kListNotify = 0x1, kListSort = 0x2, kListOwnerDrawFixed = 0x10, kListHasStrings = 0x40,
    kListDisableNoScroll = 0x1000,
    kComboDropDownList = 0x3, kComboOwnerDrawFixed = 0x10, kComboAutoHScroll = 0x40, kComboSort = 0x100,
    kComboHasStrings = 0x200,
};
enum : uint16_t { kButton = 0x80, kEdit = 0x81, kStatic = 0x82, kListBox = 0x83, kComboBox = 0x85 };

// Identifiers of the platform's old-style file dialog that the folder
// browser template must carry for the file dialog's own code.
enum : uint16_t {
    kHelpButton = 0x040E, kReadOnlyBox = 0x0410, kCurrentFolderText = 0x0440, kFileTypeLabel = 0x0441,
    kFileNameLabel = 0x0442, kDrivesLabel = 0x0443, kFileList = 0x0460, kFolderList = 0x0461,
    kFileTypeCombo = 0x0470, kDriveCombo = 0x0471, kFileNameEdit = 0x0480,
};

struct Control {
    uint16_t kind;  // class ordinal
    uint16_t id;
    std::u16string text;
    int16_t x, y, cx, cy;
    uint32_t style;  // WS_CHILD is added
};

struct Dialog {
    uint32_t style;  // DS_SETFONT is added
    int16_t cx, cy;
    std::vector<Control> controls;
};

// Static texts filled from the string table show '&' as it stands.
constexpr uint32_t kText = kVisible | kStaticNoPrefix;
// Rectangles the program draws into itself: hidden, so that nothing paints over them.
constexpr uint32_t kPlaceholder = 0;
// Pages are borderless children placed over control 1006 of the main dialog;
// DS_CONTROL lets the main dialog's keyboard handling tab into them.
constexpr uint32_t kPage = kChild | kVisible | kDsControl | kDs3dLook;
constexpr int16_t kPageWidth = 213, kPageHeight = 148;

// The main dialog: side picture on the left, the page to its right, an
// etched line (control 1012's sunken frame, 1 unit high) above the buttons.
// Framed mode puts it, without border, into the frame window's client area;
// full-screen mode gives it a caption for the page title.
Dialog MainDialog(uint32_t frame, const DialogCaptions& captions) {
    return {kChild | kVisible | kClipChildren | kDs3dLook | frame, 316, 190, {
        {kStatic, 1011, u"", 7, 7, 82, 148, kPlaceholder},
        {kStatic, 1006, u"", 96, 7, kPageWidth, kPageHeight, kPlaceholder},
        {kStatic, 1012, u"", 7, 162, 302, 1, kPlaceholder},
        // Wide enough for the longest translation ("&Fertig stellen").
        {kButton, 1007, captions.back, 133, 169, 56, 14, kVisible | kTabStop | kGroup | kPushButton},
        {kButton, 1, captions.next, 189, 169, 56, 14, kVisible | kTabStop | kDefPushButton},
        {kButton, 2, captions.cancel, 253, 169, 56, 14, kVisible | kTabStop | kPushButton},
    }};
}

// The inner pages (destination, information, progress, setup type) are as
// wide as the picture and the page together: the program places a page
// wider than control 1006 at the picture's left, so that only the welcome,
// ready and finish pages show the picture.
constexpr int16_t kWideWidth = 302;

Dialog DestinationPage(const DialogCaptions& captions) {
    return {kPage, kWideWidth, kPageHeight, {
        {kStatic, 1000, u"", 0, 0, kWideWidth, 20, kText},
        {kEdit, 1004, u"", 0, 24, 238, 13, kVisible | kBorder | kTabStop | kGroup | kEditAutoHScroll},
        // Wide enough for the longest translation ("&Durchsuchen...").
        {kButton, 1005, captions.browse, 242, 23, 60, 14, kVisible | kTabStop | kPushButton},
        {kStatic, 1001, u"", 0, 44, kWideWidth, 16, kText},
        {kStatic, 1002, u"", 0, 62, kWideWidth, 20, kText},
        {kStatic, 1003, u"", 0, 86, kWideWidth, 20, kText},
        // Labels wide enough for the longest translation ("Verfügbarer Speicherplatz:").
        {kStatic, 1017, u"", 0, 120, 120, 9, kText},
        {kStatic, 1016, u"", 124, 120, 80, 9, kText},
        {kStatic, 1018, u"", 0, 132, 120, 9, kText},
        {kStatic, 1019, u"", 124, 132, 80, 9, kText},
    }};
}

Dialog InformationPage() {
    return {kPage, kWideWidth, kPageHeight, {
        {kStatic, 1000, u"", 0, 0, kWideWidth, 110, kText},
        {kStatic, 1001, u"", 0, 114, kWideWidth, 10, kText},
        {kStatic, 1002, u"", 0, 126, kWideWidth, 10, kText},
        {kStatic, 1003, u"", 0, 138, kWideWidth, 10, kText},
    }};
}

// 1009's rectangle is the progress bar, which the page paints itself.
Dialog ProgressPage() {
    return {kPage, kWideWidth, kPageHeight, {
        {kStatic, 1000, u"", 0, 0, kWideWidth, 20, kText},
        {kStatic, 1001, u"", 0, 24, kWideWidth, 20, kText},
        {kStatic, 1008, u"", 0, 52, kWideWidth, 9, kText | kStaticNoWordWrap},
        {kStatic, 1009, u"", 0, 64, 266, 12, kPlaceholder},
        {kStatic, 1010, u"", 270, 66, 32, 9, kText | kStaticRight},
        {kStatic, 1002, u"", 0, 88, kWideWidth, 20, kText},
        {kStatic, 1003, u"", 0, 112, kWideWidth, 20, kText},
    }};
}

// Welcome and ready page; the ready page puts the folder into 1001.
Dialog WelcomeReadyPage() {
    return {kPage, kPageWidth, kPageHeight, {
        {kStatic, 1000, u"", 0, 0, 213, 30, kText},
        {kStatic, 1001, u"", 0, 34, 213, 44, kText},
        {kStatic, 1002, u"", 0, 82, 213, 30, kText},
        {kStatic, 1003, u"", 0, 116, 213, 32, kText},
    }};
}

// Order top to bottom: 1001 introduces button 1014, 1002 check box 1015, so
// that the page can move the check box into the button's place and 1001's
// text with it. The page shows 1014 and 1015 when it offers them.
Dialog FinishPage() {
    return {kPage, kPageWidth, kPageHeight, {
        {kStatic, 1000, u"", 0, 0, 213, 30, kText},
        {kStatic, 1001, u"", 0, 34, 213, 20, kText},
        {kButton, 1014, u"", 0, 56, 120, 14, kTabStop | kPushButton},
        {kStatic, 1002, u"", 0, 76, 213, 20, kText},
        {kButton, 1015, u"", 0, 98, 213, 10, kTabStop | kAutoCheckBox},
        {kStatic, 1003, u"", 0, 112, 213, 36, kText},
    }};
}

// One radio button per setup type; the page enables and shows the ones it uses.
Dialog SetupTypePage() {
    Dialog page = {kPage, kWideWidth, kPageHeight, {
        {kStatic, 1000, u"", 0, 0, kWideWidth, 20, kText},
        {kStatic, 1001, u"", 0, 24, kWideWidth, 10, kText},
    }};
    for (int i = 0; i < kMaxSetupTypes; ++i)
        page.controls.push_back({kButton, uint16_t(1021 + i), u"", 10, int16_t(38 + 13 * i), kWideWidth - 10, 11,
                                 kDisabled | kAutoRadioButton | (i == 0 ? kGroup | kTabStop : 0)});
    page.controls.push_back({kStatic, 1002, u"", 0, 120, kWideWidth, 12, kText | kGroup});
    page.controls.push_back({kStatic, 1003, u"", 0, 134, kWideWidth, 12, kText});
    return page;
}

// The whole dialog of the platform's old-style save dialog, run with a hook:
// a pop-up with caption. The user walks folders in the folder list and
// drives in the drive combo; 101 shows the folder. The file dialog's own
// file name, file list, file types, read-only box and help button stay
// hidden but present, with the owner-drawn styles its code expects.
Dialog FolderBrowser(const DialogCaptions& captions) {
    constexpr uint32_t list = kListSort | kListHasStrings | kListNotify | kListDisableNoScroll | kListOwnerDrawFixed |
                              kVScroll | kTabStop;
    constexpr uint32_t combo = kComboDropDownList | kComboAutoHScroll | kBorder | kVScroll | kTabStop;
    return {kPopup | kCaption | kSysMenu | kDsModalFrame | kDs3dLook, 220, 146, {
        {kStatic, 1009, u"", 6, 6, 150, 9, kVisible},
        {kEdit, 101, u"", 6, 16, 150, 12, kVisible | kBorder | kTabStop | kEditAutoHScroll},
        {kListBox, kFolderList, u"", 6, 32, 150, 82, kVisible | list},
        {kStatic, kDrivesLabel, u"", 6, 118, 150, 9, kVisible},
        {kComboBox, kDriveCombo, u"", 6, 128, 150, 68,
         kVisible | combo | kComboOwnerDrawFixed | kComboSort | kComboHasStrings},
        {kButton, 1, captions.ok, 164, 6, 50, 14, kVisible | kTabStop | kGroup | kDefPushButton},
        {kButton, 2, captions.browser_cancel, 164, 24, 50, 14, kVisible | kTabStop | kGroup | kPushButton},
        {kStatic, kCurrentFolderText, u"", 164, 44, 50, 9, kStaticNoPrefix},
        {kStatic, kFileNameLabel, u"", 164, 56, 50, 9, 0},
        {kEdit, kFileNameEdit, u"", 164, 66, 50, 12, kBorder | kTabStop | kEditAutoHScroll},
        {kListBox, kFileList, u"", 164, 80, 50, 20, list},
        {kStatic, kFileTypeLabel, u"", 164, 102, 50, 9, 0},
        {kComboBox, kFileTypeCombo, u"", 164, 112, 50, 40, combo},
        {kButton, kReadOnlyBox, u"", 164, 126, 50, 10, kTabStop | kAutoCheckBox},
        {kButton, kHelpButton, u"", 164, 138, 50, 6, kTabStop | kPushButton},
    }};
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void PutText(std::vector<uint8_t>& out, const std::u16string& text) {
    for (char16_t c : text) Put16(out, c);
    Put16(out, 0);
}

void Align4(std::vector<uint8_t>& out) {
    while (out.size() % 4) out.push_back(0);
}

// DLGTEMPLATE, no menu, default class, empty title, the dialog font; then a
// DLGITEMTEMPLATE per control at a 4-byte boundary, class by ordinal, no
// creation data.
std::vector<uint8_t> WriteTemplate(const Dialog& dialog) {
    std::vector<uint8_t> out;
    Put32(out, dialog.style | kDsSetFont);
    Put32(out, 0);
    Put16(out, uint32_t(dialog.controls.size()));
    for (int16_t v : {int16_t(0), int16_t(0), dialog.cx, dialog.cy}) Put16(out, uint16_t(v));
    Put16(out, 0);
    Put16(out, 0);
    PutText(out, u"");
    Put16(out, 8);
    PutText(out, u"MS Shell Dlg");
    for (const Control& c : dialog.controls) {
        Align4(out);
        Put32(out, kChild | c.style);
        Put32(out, 0);
        for (int16_t v : {c.x, c.y, c.cx, c.cy}) Put16(out, uint16_t(v));
        Put16(out, c.id);
        Put16(out, 0xFFFF);
        Put16(out, c.kind);
        PutText(out, c.text);
        Put16(out, 0);
    }
    return out;
}

}  // namespace

std::vector<std::vector<uint8_t>> DefaultDialogTemplates(const DialogCaptions& captions) {
    const Dialog dialogs[kTemplateCount] = {
        MainDialog(0, captions),
        MainDialog(kCaption | kSysMenu | kMinimizeBox | kDsModalFrame, captions),
        DestinationPage(captions),
        InformationPage(),
        ProgressPage(),
        WelcomeReadyPage(),
        FinishPage(),
        FolderBrowser(captions),
        SetupTypePage(),
    };
    std::vector<std::vector<uint8_t>> templates;
    for (const Dialog& dialog : dialogs) templates.push_back(WriteTemplate(dialog));
    return templates;
}

std::vector<uint8_t> BuildDialogTemplateTable(const std::vector<std::vector<uint8_t>>& templates) {
    if (templates.size() != size_t(kTemplateCount))
        throw std::invalid_argument("the dialog template table needs exactly " + std::to_string(kTemplateCount) +
                                    " templates");
    std::vector<uint8_t> table(4 * templates.size(), 0);
    std::vector<size_t> offsets;
    for (const std::vector<uint8_t>& t : templates) {
        if (t.empty()) throw std::invalid_argument("dialog template " + std::to_string(offsets.size()) + " is empty");
        Align4(table);
        offsets.push_back(table.size());
        WriteU32(&table[4 * (offsets.size() - 1)], uint32_t(table.size()));
        table.insert(table.end(), t.begin(), t.end());
    }
    for (size_t k = 0; k < offsets.size(); ++k)
        if (table.size() - offsets[k] > kTemplateCopySize)
            throw std::length_error("the dialog template table runs on for more than " +
                                    std::to_string(kTemplateCopySize) + " bytes after template " +
                                    std::to_string(k));
    return table;
}
