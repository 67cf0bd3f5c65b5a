// The builder's built-in texts and dialogs: a manifest that names none of
// them must still give the setup program every text and control it reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "builder/manifest/default_pictures.h"
#include "builder/manifest/default_texts.h"
#include "builder/manifest/dialog_templates.h"
#include "package/package_format.h"
#include "package/package_validate.h"
#include "tests/common/required_dialog_controls.h"

namespace {

// ---------------------------------------------------------------- texts

struct ReadText {
    int group;
    int index;
    const char* reader;
};

// Every text the setup program reads and shows, by who reads it.
constexpr ReadText kReadTexts[] = {
    {0, 0, "welcome page: title"}, {0, 1, "welcome page: 1000"}, {0, 2, "welcome page: 1001"},
    {0, 3, "welcome page: 1002"}, {0, 4, "welcome page: 1003"},
    {1, 0, "information page: title"}, {1, 2, "information page: 1001"}, {1, 3, "information page: 1002"},
    {1, 4, "information page: 1003"},
    {2, 0, "destination page: title"}, {2, 1, "destination page: 1000"}, {2, 2, "destination page: 1001"},
    {2, 3, "destination page: 1002"}, {2, 4, "destination page: 1003"}, {2, 5, "destination page: 1017"},
    {2, 6, "destination page: 1018"}, {2, 7, "destination page: megabytes format"},
    {3, 0, "ready page: title"}, {3, 1, "ready page: 1000"}, {3, 2, "ready page: folder format in 1001"},
    {3, 3, "ready page: 1002"}, {3, 4, "ready page: 1003"},
    {4, 0, "progress page: title"}, {4, 1, "progress page: 1000"}, {4, 2, "progress page: 1001"},
    {4, 3, "progress page: 1002"}, {4, 4, "progress page: 1003"},
    {5, 0, "finish page: title"}, {5, 1, "finish page: 1000"}, {5, 4, "finish page: error frame"},
    {5, 5, "finish page: 1014"}, {5, 6, "finish page: 1015"}, {5, 7, "finish page: restart notice"},
    {6, 0, "setup title: captions"}, {6, 1, "folder browser: title"}, {6, 2, "folder browser: 1009; install error 2"},
    {6, 3, "folder browser: 1091; install error 3"}, {6, 4, "destination page: during the disk check"},
    {6, 5, "destination page: folder not created"}, {6, 6, "destination page: create folder?"},
    {6, 7, "ready page: read-only files?"}, {6, 8, "destination page: check failed"},
    {6, 9, "destination page: read-only file"}, {6, 10, "destination page: no uninstall from this folder"},
    {6, 11, "destination page: not enough space?"},
    {6, 12, "install error: no memory"}, {6, 13, "progress page and disk prompt: stop?"},
    {6, 14, "main dialog: cancel?"}, {6, 15, "cancelled notice; install error 15"},
    {6, 16, "install error: open"}, {6, 17, "install error: create"}, {6, 18, "install error: read"},
    {6, 19, "install error: write"}, {6, 20, "install error: disk full"}, {6, 21, "install error: checksum"},
    {6, 22, "placement refused: question and install error"}, {6, 28, "disk prompt"},
    {6, 29, "newer file question"}, {6, 30, "language question"}, {6, 31, "package loader: damaged"},
    {6, 32, "setup program: /? switches"}, {6, 33, "package loader: /LANG refused"},
    {7, 0, "Back"}, {7, 1, "Next"}, {7, 2, "Cancel"}, {7, 3, "ready page: Next"}, {7, 4, "folder browser: OK"},
    {7, 5, "folder browser and progress page: Cancel"}, {7, 6, "finish page: restart button"},
    {7, 7, "finish page: Cancel, labelled as the way out"},
    {9, 0, "setup type page: title"}, {9, 1, "setup type page: 1000"}, {9, 2, "setup type page: 1001"},
    {9, 3, "setup type page: 1002"}, {9, 4, "setup type page: 1003"},
    {10, 0, "uninstaller: remove?"}, {10, 1, "uninstaller: removed"}, {10, 2, "uninstaller: restart"},
    {10, 3, "uninstaller: items remain"}, {10, 4, "uninstaller: damaged log"},
    {10, 5, "uninstaller: not installed here"},
};

// Read, but empty by default: a text there would change what the wizard
// shows for every package that does not name it.
constexpr ReadText kEmptyOnPurpose[] = {
    {1, 1, "information text: non-empty adds the information page"},
    {5, 2, "finish page 1001: would introduce a document button the setup may not have"},
    {5, 3, "finish page 1002: would introduce a run-program box the setup may not have"},
};

struct FormattedText {
    int group;
    int index;
    char directive;
};

// Texts always given to wsprintfA, or holding the message argument.
constexpr FormattedText kFormattedTexts[] = {
    {2, 7, 'd'},  {3, 2, 's'},  {5, 4, 's'},  {6, 9, 's'},  {6, 16, 's'}, {6, 17, 's'}, {6, 18, 's'},
    {6, 19, 's'}, {6, 21, 's'}, {6, 22, 's'}, {6, 28, 'd'}, {6, 29, 's'}, {6, 30, 's'}, {6, 33, 's'},
    {10, 0, 's'}, {10, 1, 's'}, {10, 2, 's'}, {10, 3, 's'}, {10, 4, 's'}, {10, 5, 's'},
};

bool Listed(int group, int index) {
    auto is = [&](const ReadText& t) { return t.group == group && t.index == index; };
    return std::any_of(std::begin(kReadTexts), std::end(kReadTexts), is) ||
           std::any_of(std::begin(kEmptyOnPurpose), std::end(kEmptyOnPurpose), is);
}

const std::string& Text(int group, int index) {
    static const std::string empty;
    const std::vector<std::string>& texts = DefaultGroupTexts(group);
    return size_t(index) < texts.size() ? texts[size_t(index)] : empty;
}

TEST(DefaultTexts, EveryTextTheProgramReadsIsThere) {
    for (const ReadText& t : kReadTexts)
        EXPECT_FALSE(Text(t.group, t.index).empty()) << "group " << t.group << ", index " << t.index << ": " << t.reader;
    for (const ReadText& t : kEmptyOnPurpose)
        EXPECT_TRUE(Text(t.group, t.index).empty()) << "group " << t.group << ", index " << t.index << ": " << t.reader;
}

TEST(DefaultTexts, GroupsEndAtTheirLastReadIndexAndLeaveOnlyUnreadGaps) {
    for (int g = 0; g < kStringGroupCount; ++g) {
        int last = -1;
        for (const ReadText& t : kReadTexts) if (t.group == g) last = std::max(last, t.index);
        for (const ReadText& t : kEmptyOnPurpose) if (t.group == g) last = std::max(last, t.index);
        const std::vector<std::string>& texts = DefaultGroupTexts(g);
        EXPECT_EQ(int(texts.size()), last + 1) << "group " << g;
        for (size_t i = 0; i < texts.size(); ++i)
            if (!Listed(g, int(i))) {
                EXPECT_TRUE(texts[i].empty()) << "group " << g << ", index " << i << " is not read";
            }
    }
    EXPECT_TRUE(DefaultGroupTexts(-1).empty());
    EXPECT_TRUE(DefaultGroupTexts(kStringGroupCount).empty());
}

TEST(DefaultTexts, FormattedTextsCarryExactlyTheirDirectiveAndOthersNone) {
    std::set<std::pair<int, int>> formatted;
    for (const FormattedText& f : kFormattedTexts) {
        formatted.insert({f.group, f.index});
        const std::string& text = Text(f.group, f.index);
        size_t at = text.find('%');
        ASSERT_NE(at, std::string::npos) << "group " << f.group << ", index " << f.index;
        EXPECT_EQ(text[at + 1], f.directive) << "group " << f.group << ", index " << f.index;
        EXPECT_EQ(text.find('%', at + 1), std::string::npos) << "group " << f.group << ", index " << f.index;
    }
    for (int g = 0; g < kStringGroupCount; ++g)
        for (size_t i = 0; i < DefaultGroupTexts(g).size(); ++i)
            if (!formatted.count({g, int(i)})) {
                EXPECT_EQ(Text(g, int(i)).find('%'), std::string::npos) << "group " << g << ", index " << i;
            }
}

// ANSI texts in any code page, and shown as they stand: no page expands
// install variables, so a #InstallDir# would reach the user verbatim.
TEST(DefaultTexts, ArePlainAsciiWithoutInstallVariables) {
    for (int g = 0; g < kStringGroupCount; ++g)
        for (const std::string& text : DefaultGroupTexts(g))
            for (char c : text) {
                EXPECT_TRUE((c >= 0x20 && c < 0x7F) || c == '\n') << text;
                EXPECT_NE(c, '#') << text;
            }
}

TEST(DefaultTexts, PassTheirOwnChecks) {
    std::vector<std::string> problems = CheckStringTable(DefaultStringTable());
    EXPECT_TRUE(problems.empty()) << problems.front();
}

struct TableCase {
    int group;
    int index;
    std::string text;
    const char* problem;  // a part of a reported problem, or nullptr for none about this text
};

TEST(CheckStringTable, FindsTextsTheSetupProgramWouldMisformatOrOverflow) {
    const std::string x(1100, 'x');
    const TableCase cases[] = {
        // An int formatted through %s would be read as an address.
        {2, 7, "%s MB", "only %d and %%"},
        {2, 7, "%d of %d MB", "more than one %d"},
        {2, 7, "100%% = %d MB", nullptr},
        {2, 7, "%d MB" + x.substr(0, 94), "100-byte"},
        {2, 7, "%d MB" + x.substr(0, 84), nullptr},  // 11 digits + 88 = 99 bytes and the zero
        {6, 28, "Disk %s", "only %d and %%"},
        {3, 2, "Folder: %d", "only %s and %%"},
        {3, 2, "No folder shown", nullptr},
        {6, 16, "%s or %s", "more than one %s"},
        {6, 16, "%s, 50% done", "only %s and %%"},
        // Without %s the text is copied as it stands.
        {6, 12, "50% done", nullptr},
        {6, 12, x, "1024-byte"},
        {6, 16, "%s" + x.substr(0, 764), nullptr},  // 259 + 764 = 1023 and the zero
        {6, 16, "%s" + x.substr(0, 765), "1024-byte"},
        {6, 29, "%s" + x.substr(0, 765), "1024-byte"},
        {6, 8, x.substr(0, 800), "with index 9"},
        {5, 4, "%s" + x.substr(0, 800), "framed install error"},
        {6, 0, x.substr(0, 1010), "caption"},
        {1, 0, std::string("Info\0rmation", 12), "zero byte"},
        // The uninstaller's texts take the product name, in a buffer of their size.
        {10, 0, "Remove %s and %s?", "more than one %s"},
        {10, 1, "%s" + x + x, nullptr},
    };
    for (const TableCase& c : cases) {
        StringTable table = DefaultStringTable();
        std::vector<std::string>& group = table[size_t(c.group)];
        if (group.size() <= size_t(c.index)) group.resize(size_t(c.index) + 1);
        group[size_t(c.index)] = c.text;
        std::vector<std::string> problems = CheckStringTable(table);
        std::string all;
        for (const std::string& p : problems) all += p + "\n";
        std::string self = "group " + std::to_string(c.group) + ", index " + std::to_string(c.index) + ":";
        if (c.problem == nullptr)
            EXPECT_EQ(all.find(self), std::string::npos) << all;
        else
            EXPECT_NE(all.find(c.problem), std::string::npos) << c.group << "/" << c.index << ": " << all;
    }
}

// ---------------------------------------------------------------- dialogs

// Win32 values.
constexpr uint32_t kChild = 0x40000000, kPopup = 0x80000000, kVisible = 0x10000000, kCaption = 0x00C00000,
                   kBorder = 0x00800000, kDlgFrame = 0x00400000, kDsModalFrame = 0x80, kDsSetFont = 0x40,
                   kDsControl = 0x400;

struct ParsedControl {
    uint32_t style;
    int16_t x, y, cx, cy;
    uint16_t id;
    uint16_t kind;  // class ordinal, 0 for a class name
};

struct ParsedDialog {
    uint32_t style;
    int16_t cx, cy;
    std::vector<ParsedControl> controls;
    size_t end;  // offset in the table after the last item
};

// Reads the table with a bounds check on every access.
struct Reader {
    const std::vector<uint8_t>& bytes;
    size_t at;
    bool ok = true;
    uint32_t Get(int width) {
        if (at + size_t(width) > bytes.size()) { ok = false; return 0; }
        uint32_t v = 0;
        for (int i = 0; i < width; ++i) v |= uint32_t(bytes[at + size_t(i)]) << (8 * i);
        at += size_t(width);
        return v;
    }
    uint16_t U16() { return uint16_t(Get(2)); }
    uint32_t U32() { return Get(4); }
    void SkipText() { while (ok && U16() != 0) {} }
    // Menu, class or title: none, an ordinal, or a text.
    uint16_t SkipNameOrOrdinal() {
        uint16_t first = U16();
        if (first == 0xFFFF) return U16();
        if (first != 0) SkipText();
        return 0;
    }
};

ParsedDialog ParseDialog(const std::vector<uint8_t>& table, size_t offset, bool& ok) {
    Reader r{table, offset};
    ParsedDialog d{};
    d.style = r.U32();
    r.U32();
    uint16_t count = r.U16();
    r.U16(), r.U16();
    d.cx = int16_t(r.U16());
    d.cy = int16_t(r.U16());
    r.SkipNameOrOrdinal();
    r.SkipNameOrOrdinal();
    r.SkipText();
    if (d.style & kDsSetFont) {
        r.U16();
        r.SkipText();
    }
    for (int i = 0; i < count && r.ok; ++i) {
        r.at = (r.at + 3) & ~size_t(3);  // items start on a 4-byte boundary of the template
        ParsedControl c{};
        c.style = r.U32();
        r.U32();
        c.x = int16_t(r.U16()), c.y = int16_t(r.U16()), c.cx = int16_t(r.U16()), c.cy = int16_t(r.U16());
        c.id = r.U16();
        c.kind = r.SkipNameOrOrdinal();
        r.SkipNameOrOrdinal();
        r.at += r.U16();  // creation data
        d.controls.push_back(c);
    }
    ok = r.ok && r.at <= table.size();
    d.end = r.at;
    return d;
}

struct ParsedTable {
    std::vector<uint8_t> bytes;
    std::vector<size_t> offsets;
    std::vector<ParsedDialog> dialogs;
};

ParsedTable ParseDefaultTable() {
    ParsedTable t;
    t.bytes = BuildDialogTemplateTable(DefaultDialogTemplates());
    EXPECT_GE(t.bytes.size(), 4u * kTemplateCount);
    for (int n = 0; n < kTemplateCount; ++n) t.offsets.push_back(ReadU32(&t.bytes[4 * size_t(n)]));
    for (int n = 0; n < kTemplateCount; ++n) {
        size_t offset = t.offsets[size_t(n)];
        EXPECT_EQ(offset % 4, 0u) << "template " << n;
        EXPECT_GE(offset, 4u * kTemplateCount) << "template " << n;
        EXPECT_LT(offset, t.bytes.size()) << "template " << n;
        EXPECT_LE(t.bytes.size() - offset, kTemplateCopySize) << "template " << n;
        bool ok = false;
        t.dialogs.push_back(ParseDialog(t.bytes, offset, ok));
        EXPECT_TRUE(ok) << "template " << n << " runs past the table";
        if (n + 1 < kTemplateCount) {
            EXPECT_LE(t.dialogs.back().end, size_t(ReadU32(&t.bytes[4 * size_t(n + 1)])))
                << "template " << n << " runs into the next";
        }
    }
    return t;
}

const ParsedControl* Find(const ParsedDialog& d, uint16_t id) {
    for (const ParsedControl& c : d.controls) if (c.id == id) return &c;
    return nullptr;
}

TEST(DialogTemplates, TableHoldsEveryTemplateWholeAlignedAndWithinTheCopy) {
    ParsedTable t = ParseDefaultTable();
    ASSERT_EQ(t.dialogs.size(), size_t(kTemplateCount));
    for (const ParsedDialog& d : t.dialogs) {
        EXPECT_TRUE(d.style & kDsSetFont);
        EXPECT_FALSE(d.controls.empty());
    }
}

TEST(DialogTemplates, CarryEveryControlTheProgramLooksUp) {
    using namespace required_controls;
    ParsedTable t = ParseDefaultTable();
    for (const RequiredControl& r : kRequiredControls) {
        const ParsedControl* c = Find(t.dialogs[size_t(r.template_number)], r.id);
        ASSERT_NE(c, nullptr) << "template " << r.template_number << " lacks " << r.id << ": " << r.use;
        EXPECT_EQ(c->kind, r.kind) << "template " << r.template_number << ", control " << r.id;
        EXPECT_TRUE(c->style & kChild);
        if (r.visibility != kEither) {
            EXPECT_EQ(bool(c->style & kVisible), r.visibility == kShown)
                << "template " << r.template_number << ", control " << r.id << ": " << r.use;
        }
        if (r.button_type != kAnyType) {
            EXPECT_EQ(int(c->style & 0xF), r.button_type) << "template " << r.template_number << ", control " << r.id;
        }
    }
}

// GetDlgItem finds only the first of two controls with one identifier. A
// combo box's height includes its drop-down list, which may leave the dialog.
TEST(DialogTemplates, IdentifiersAreUniqueAndControlsLieInsideTheirDialog) {
    ParsedTable t = ParseDefaultTable();
    for (int n = 0; n < kTemplateCount; ++n) {
        const ParsedDialog& d = t.dialogs[size_t(n)];
        std::set<uint16_t> seen;
        for (const ParsedControl& c : d.controls) {
            if (c.id != 0xFFFF) {
                EXPECT_TRUE(seen.insert(c.id).second) << "template " << n << ", control " << c.id;
            }
            int shown_height = c.kind == required_controls::kComboBox ? std::min<int>(c.cy, 14) : c.cy;
            EXPECT_TRUE(c.x >= 0 && c.y >= 0 && c.cx > 0 && c.cy > 0 && c.x + c.cx <= d.cx &&
                        c.y + shown_height <= d.cy)
                << "template " << n << ", control " << c.id;
        }
    }
}

// Main dialogs are children of the background window (framed mode puts one
// borderless into the frame); pages are borderless children of the main
// dialog; the folder browser is the whole dialog of a modal file dialog.
TEST(DialogTemplates, StylesSuitHowEachDialogIsCreated) {
    ParsedTable t = ParseDefaultTable();
    auto style = [&](int n) { return t.dialogs[size_t(n)].style; };
    const uint32_t frame = kCaption | kBorder | kDlgFrame | kDsModalFrame;
    EXPECT_EQ(style(kTemplateMainFramed) & (kChild | kVisible | kPopup), kChild | kVisible);
    EXPECT_EQ(style(kTemplateMainFramed) & frame, 0u);
    EXPECT_EQ(style(kTemplateMainFullScreen) & (kChild | kVisible | kPopup | kCaption), kChild | kVisible | kCaption);
    for (int n : {kTemplateDestination, kTemplateInformation, kTemplateProgress, kTemplateWelcomeReady,
                  kTemplateFinish, kTemplateSetupTypes}) {
        EXPECT_EQ(style(n) & (kChild | kVisible | kDsControl | kPopup), kChild | kVisible | kDsControl) << n;
        EXPECT_EQ(style(n) & frame, 0u) << n;
    }
    EXPECT_EQ(style(kTemplateFolderBrowser) & (kPopup | kCaption | kChild), kPopup | kCaption);
}

struct Rect {
    int left, top, right, bottom;
    bool Overlaps(const Rect& o) const { return left < o.right && o.left < right && top < o.bottom && o.top < bottom; }
};

Rect RectOf(const ParsedControl& c) { return {c.x, c.y, c.x + c.cx, c.y + c.cy}; }

// A page sits at control 1006's top-left corner: it must stay inside the
// main dialog and off the areas the main dialog paints and its buttons.
// Both use the same font, so their dialog units agree.
// The welcome, ready and finish pages stand beside the side picture; the
// inner pages are wider than their place, so the program puts them at the
// picture's left, over it. None covers the etched line or the buttons.
TEST(DialogTemplates, PagesFitBesideThePaintedAreasAndTheButtons) {
    ParsedTable t = ParseDefaultTable();
    for (int main : {kTemplateMainFramed, kTemplateMainFullScreen}) {
        const ParsedDialog& m = t.dialogs[size_t(main)];
        const ParsedControl* placeholder = Find(m, 1006);
        const ParsedControl* picture = Find(m, 1011);
        ASSERT_NE(placeholder, nullptr);
        ASSERT_NE(picture, nullptr);
        for (int page : {kTemplateDestination, kTemplateInformation, kTemplateProgress, kTemplateWelcomeReady,
                         kTemplateFinish, kTemplateSetupTypes}) {
            const ParsedDialog& p = t.dialogs[size_t(page)];
            bool wide = p.cx > placeholder->cx;
            EXPECT_EQ(wide, page != kTemplateWelcomeReady && page != kTemplateFinish) << page;
            int left = wide ? picture->x : placeholder->x;
            Rect area = {left, placeholder->y, left + p.cx, placeholder->y + p.cy};
            EXPECT_LE(area.right, m.cx) << page;
            EXPECT_LE(area.bottom, m.cy) << page;
            for (uint16_t id : {1011, 1012, 1, 2, 1007}) {
                if (wide && id == 1011) continue;
                const ParsedControl* other = Find(m, id);
                ASSERT_NE(other, nullptr);
                EXPECT_FALSE(area.Overlaps(RectOf(*other))) << "page " << page << " covers control " << id;
            }
        }
    }
}

TEST(DialogTemplateTable, PlacesTemplatesOnFourByteBoundariesUnchanged) {
    std::vector<std::vector<uint8_t>> templates;
    for (int n = 0; n < kTemplateCount; ++n) templates.push_back(std::vector<uint8_t>(size_t(n + 1), uint8_t(0xA0 + n)));
    std::vector<uint8_t> table = BuildDialogTemplateTable(templates);
    for (int n = 0; n < kTemplateCount; ++n) {
        uint32_t offset = ReadU32(&table[4 * size_t(n)]);
        EXPECT_EQ(offset % 4, 0u);
        ASSERT_LE(offset + templates[size_t(n)].size(), table.size());
        EXPECT_TRUE(std::equal(templates[size_t(n)].begin(), templates[size_t(n)].end(), table.begin() + offset));
    }
}

TEST(DialogTemplateTable, RejectsTablesTheSetupProgramCouldNotUse) {
    std::vector<std::vector<uint8_t>> eight(8, std::vector<uint8_t>(64, 1));
    EXPECT_THROW(BuildDialogTemplateTable(eight), std::invalid_argument);
    std::vector<std::vector<uint8_t>> one_empty(kTemplateCount, std::vector<uint8_t>(64, 1));
    one_empty[4].clear();
    EXPECT_THROW(BuildDialogTemplateTable(one_empty), std::invalid_argument);
    // Template 0 starts after the 9 offsets; everything after it is copied.
    std::vector<std::vector<uint8_t>> fits(kTemplateCount, std::vector<uint8_t>(1820, 1));  // 9 x 1820 = 16380
    EXPECT_NO_THROW(BuildDialogTemplateTable(fits));
    std::vector<std::vector<uint8_t>> too_long(kTemplateCount, std::vector<uint8_t>(1824, 1));  // 16416
    EXPECT_THROW(BuildDialogTemplateTable(too_long), std::length_error);
}

// ---------------------------------------------------------------- pictures

// Dialog units in pixels for the default dialog font, 8-point MS Shell Dlg
// (Tahoma) at 96 dpi: 6 pixels per 4 units across, 13 per 8 down, rounded
// as MapDialogRect rounds.
int UnitsAcross(int units) { return (units * 6 + 2) / 4; }
int UnitsDown(int units) { return (units * 13 + 4) / 8; }

TEST(DefaultSidePicture, FillsControl1011AndShowsUnchangedOnPaletteDisplays) {
    std::vector<uint8_t> bmp = DefaultSidePicture();
    ASSERT_TRUE(ValidatePicture(bmp.data(), uint32_t(bmp.size())));
    const uint8_t* info = &bmp[kBitmapFileHeaderSize];
    int width = int(ReadU32(info + kBitmapWidth)), height = int(ReadU32(info + kBitmapHeight));
    ParsedTable t = ParseDefaultTable();
    for (int main : {kTemplateMainFramed, kTemplateMainFullScreen}) {
        const ParsedControl* area = Find(t.dialogs[size_t(main)], 1011);
        ASSERT_NE(area, nullptr);
        EXPECT_EQ(width, UnitsAcross(area->cx)) << main;
        EXPECT_EQ(height, UnitsDown(area->cy)) << main;
    }
    // A 256-colour display puts its fixed colours into entries 0-9 and
    // 246-255 of the picture's palette: no pixel may use them.
    ASSERT_EQ(ReadU16(info + kBitmapBitCount), 8);
    uint32_t colours = ReadU32(info + kBitmapColoursUsed);
    EXPECT_LE(colours, 246u);
    size_t bits = kBitmapFileHeaderSize + kBitmapInfoHeaderSize + 4 * size_t(colours);
    size_t row = (size_t(width) + 3) / 4 * 4;
    ASSERT_EQ(bmp.size(), bits + row * size_t(height));
    std::set<uint8_t> used;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) used.insert(bmp[bits + row * size_t(y) + size_t(x)]);
    EXPECT_GE(*used.begin(), 10);
    EXPECT_LE(*used.rbegin(), 245);
    EXPECT_GT(used.size(), 64u);  // a picture, not a flat panel
    // The file header's own fields are sound, for tools that open it as a file.
    EXPECT_EQ(ReadU16(&bmp[0]), 0x4D42);
    EXPECT_EQ(ReadU32(&bmp[2]), bmp.size());
    EXPECT_EQ(ReadU32(&bmp[10]), bits);
}

TEST(DefaultTitleLook, BoldItalicSansWhiteOnADarkShadowInTheRecordsLayout) {
    std::vector<uint8_t> d = BackgroundDescription(TitleLook{});
    ASSERT_TRUE(ValidateBackgroundDescription(d.data(), uint32_t(d.size())));
    EXPECT_EQ(ReadU32(&d[kDescriptionTextColour]), 0xFFFFFFu);
    EXPECT_EQ(ReadU32(&d[kDescriptionShadowColour]), 0x200A00u);  // COLORREF of 0x000A20
    EXPECT_EQ(int32_t(ReadU32(&d[kDescriptionFont])), -40);
    EXPECT_EQ(ReadU32(&d[kDescriptionFont + 16]), 700u);
    EXPECT_EQ(d[kDescriptionFont + 20], 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(&d[kDescriptionFaceName]), "Arial");

    TitleLook look;
    look.colour = 0x123456;
    look.face = std::string(31, 'F');
    d = BackgroundDescription(look);
    EXPECT_EQ(ReadU32(&d[kDescriptionTextColour]), 0x563412u);
    EXPECT_TRUE(ValidateBackgroundDescription(d.data(), uint32_t(d.size())));
}

}  // namespace
