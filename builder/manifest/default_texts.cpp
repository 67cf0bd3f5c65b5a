#include "builder/manifest/default_texts.h"

#include <algorithm>
#include <cstddef>

namespace {

// Each page reads its own group: index 0 is the page title (the main dialog's
// caption in full-screen mode, else "setup title - page title" in the frame's
// caption), indexes 1 to 4 fill the static texts 1000 to 1003. Further indexes
// belong to the page alone. Texts are ANSI and shown as they stand: no page expands
// install variables in them, and only the indexes marked "format" go through
// wsprintfA. A text left empty on purpose says why.
const StringTable& Defaults() {
    static const StringTable table = {{
        // Group 0: welcome page (page 0, template 5).
        {
            /* 0 */ "Welcome",
            /* 1 */ "Welcome to Setup. This program installs the software on your computer.",
            /* 2 */ "Please close all other programs before you continue, so that Setup can replace files "
                    "they might be using.",
            /* 3 */ "Nothing is installed until you confirm it on the Ready to Install page.",
            /* 4 */ "Click Next to continue, or Cancel to leave Setup.",
        },
        // Group 1: information page (page 1, template 3).
        {
            /* 0 */ "Information",
            // The information text, in control 1000. Empty: the welcome, setup
            // type and destination pages then pass over the information page,
            // which is what a package without an information text wants.
            /* 1 */ "",
            /* 2 */ "Please read the information above.",
            /* 3 */ "Click Next when you are ready to continue.",
            /* 4 */ "Click Back to return to the previous page.",
        },
        // Group 2: destination page (page 4, template 2).
        {
            /* 0 */ "Destination Folder",
            /* 1 */ "Setup will install the files into the folder below.",
            // 2 to 4 are also put back after a failed disk check.
            /* 2 */ "To install into this folder, click Next.",
            /* 3 */ "To install into a different folder, type its path or click Browse.",
            /* 4 */ "If the folder does not exist yet, Setup offers to create it.",
            /* 5 */ "Space required:",   // label 1017
            /* 6 */ "Space available:",  // label 1018
            // format, one int: megabytes, in 1016 and 1019; the result must fit 100 bytes.
            /* 7 */ "%d MB",
        },
        // Group 3: ready page (page 5, template 5).
        {
            /* 0 */ "Ready to Install",
            /* 1 */ "Setup is ready to install the software.",
            // format, one string: the destination folder; replaces control 1001.
            /* 2 */ "The files will be installed into this folder:\n%s",
            /* 3 */ "Click Install to start the installation, or Back to change the folder.",
            /* 4 */ "Click Cancel to leave Setup without installing.",
        },
        // Group 4: progress page (page 6, template 4).
        {
            /* 0 */ "Installing",
            /* 1 */ "Please wait while Setup installs the files on your computer.",
            /* 2 */ "This may take a few minutes.",
            /* 3 */ "To stop the installation, click Cancel.",
            /* 4 */ "Files installed before you cancel stay on your computer.",
        },
        // Group 5: finish page (page 7, template 6).
        {
            /* 0 */ "Setup Finished",
            /* 1 */ "Setup has finished installing the software on your computer.",
            // 2 introduces the open-document button, 3 the run-program check
            // box. Empty here: with neither the page closes the gaps itself
            // (the check box moves up, the restart notice follows the first
            // text). A setup type with such a file gets the words of
            // kDocumentIntroduction and kProgramIntroduction below.
            /* 2 */ "",
            /* 3 */ "",
            // format, one string: frames the install error text in control 1000.
            /* 4 */ "Setup could not complete the installation:\n\n%s",
            /* 5 */ "&Open Document",                         // button 1014
            /* 6 */ "&Start the program when Setup closes",  // check box 1015
            /* 7 */ "Windows must be restarted to finish the installation. Click Restart to restart it now, "
                    "or Finish to restart it later.",
        },
        // Group 6: setup title and messages. "message" marks texts that go
        // through the format-message step: when they contain %s it becomes the
        // message argument, a path.
        {
            /*  0 */ "Setup",  // background window and message box caption
            /*  1 */ "Select Destination Folder",  // folder browser: window title
            // Folder browser labels 1009 and 1091. The same indexes are the
            // install errors 2 and 3 (writing the uninstaller failed / was
            // short): one text cannot serve both, and the labels are seen on
            // every browse.
            /*  2 */ "Folder:",
            /*  3 */ "Drives:",
            /*  4 */ "Checking the destination drive, please wait...",  // destination page, in 1001 during the check
            /*  5 */ "Setup could not create the destination folder. Please choose another folder.",
            /*  6 */ "The destination folder does not exist. Do you want Setup to create it?",
            /*  7 */ "Some of the files that Setup will replace are read-only. Do you want to replace them "
                     "anyway?",  // ready page question
            /*  8 */ "Setup cannot install into this folder.",  // destination page: heads the text of 9
            /*  9 */ "The file %s is read-only and Setup cannot make it writable.",  // message: disk check 9
            /* 10 */ "The program's uninstaller could not remove it from the top folder of a drive, or from a "
                     "folder that holds Windows. Please choose a folder of its own.",  // message: disk check 10
            /* 11 */ "There is not enough free space on the destination drive. Do you want to install anyway?",
            /* 12 */ "There is not enough memory to complete the installation.",  // message: install error
            // Asked by the progress page's Cancel and by a disk prompt's Cancel.
            /* 13 */ "Do you want to stop the installation? Files that are already installed stay on your "
                     "computer.",
            /* 14 */ "Setup is not complete. Do you want to leave Setup?",  // Cancel on the other pages
            // Shown after a confirmed cancel; also install error 15 (disk prompt cancelled).
            /* 15 */ "Setup has been cancelled.",
            // Install errors, formatted with the path that failed.
            /* 16 */ "Setup could not open the file %s.",
            /* 17 */ "Setup could not create the file %s.",
            /* 18 */ "Setup could not read from %s. The setup files may be damaged, or a disk may be missing.",
            /* 19 */ "Setup could not write the file %s.",
            /* 20 */ "The destination drive is full.",  // message argument not set for this one
            /* 21 */ "The file %s failed its integrity check. The setup files may be damaged.",
            // Placement refused: the Abort/Retry/Ignore question and, after
            // Abort, install error 22 on the finish page.
            /* 22 */ "The file %s could not be replaced. It may be in use by another program, or access to it "
                     "is denied.",
            /* 23 */ "",  // 23 to 27 are not read
            /* 24 */ "",
            /* 25 */ "",
            /* 26 */ "",
            /* 27 */ "",
            // Disk prompt; format, one int: the disk number. Must fit 200 bytes.
            /* 28 */ "Please insert disk %d of the setup and click OK.",
            // Version and language questions before replacing an existing file;
            // format, one string: the file's path. An empty 29 keeps newer files
            // without asking.
            /* 29 */ "The existing file %s is newer than the one Setup would install. Do you want to replace "
                     "it anyway?",
            /* 30 */ "The existing file %s is for another language than the one Setup would install. Do you "
                     "want to replace it?",
            // Package loader: the setup file fails its end check.
            /* 31 */ "The setup file is damaged or incomplete. Please obtain a new copy.",
            // The switches that /? shows, as they stand.
            /* 32 */ "Setup switches:\n"
                     "  /QUIET         install without any window or question\n"
                     "  /DIR=\"folder\"  the destination folder (with /QUIET)\n"
                     "  /TYPE=n        setup type n, counted from 1 (with /QUIET)\n"
                     "  /LOG=\"file\"    write the outcome of every file there (with /QUIET)\n"
                     "  /LANG=xx       show language xx, such as de or pt-BR\n"
                     "Exit codes of /QUIET: 0 installed; 3010 installed, Windows must be restarted; "
                     "1618 another setup is running; 1620 the setup file is damaged; 1639 a wrong "
                     "/TYPE, /DIR or /LANG; any other number: the error that ended the installation.\n",
            // The /LANG switch names a language the setup file lacks or the
            // system cannot show; format, one string: the switch's tag.
            /* 33 */ "This setup cannot show the language \"%s\" on this computer.",
        },
        // Group 7: button labels.
        {
            /* 0 */ "< &Back",
            /* 1 */ "&Next >",
            /* 2 */ "Cancel",
            /* 3 */ "&Install",  // ready page: Next
            /* 4 */ "OK",        // folder browser
            /* 5 */ "Cancel",    // folder browser and progress page
            /* 6 */ "&Restart",  // finish page: Back, when Windows must restart
            /* 7 */ "&Finish",   // finish page: Cancel (Kiln's own; without it Cancel keeps index 2)
        },
        // Group 8: not read.
        {},
        // Group 9: setup type page (page 2, template 8).
        {
            /* 0 */ "Setup Type",
            /* 1 */ "Setup can install the software in more than one way.",
            /* 2 */ "Choose the type of installation you want:",
            /* 3 */ "Click Next to continue.",
            /* 4 */ "Click Back to return to the previous page.",
        },
        // Group 10: the uninstaller's texts. The setup program does not read
        // them; the builder copies them into each setup type's uninstaller.
        // "message": a %s there becomes the product name (group 6, index 0).
        {
            /* 0 */ "Do you want to remove %s and all of its components from your computer?",  // Yes/No
            /* 1 */ "%s has been removed from your computer.",
            /* 2 */ "%s has been removed. Some files were in use; they will be removed when Windows restarts.",
            // Heads the list of items that remain, one line each.
            /* 3 */ "%s could not be removed completely. These items remain:",
            /* 4 */ "The uninstall information of %s is missing or damaged. Nothing has been removed.",
            /* 5 */ "%s is not installed where this uninstaller expects it: it was removed already, or this "
                    "uninstaller was moved or copied. Nothing has been removed.",
        },
    }};
    return table;
}

// The buffers below are the setup program's own; arguments are at most a
// 259-character path or an int.
constexpr size_t kFormatBuffer = 1024;  // also wsprintfA's own output limit
constexpr size_t kPathArgument = 259;
constexpr size_t kNumberArgument = 11;  // "-2147483648"
constexpr size_t kUnlimited = size_t(-1) / 2;

enum class Format {
    kMessage,     // format-message step: wsprintfA only when the text holds %s
    kWithString,  // always wsprintfA with one string
    kWithNumber,  // always wsprintfA with one int
};

struct FormatRule {
    int group;
    int index;
    Format format;
    size_t buffer;
};

constexpr FormatRule kFormatRules[] = {
    {kGroupDestination, 7, Format::kWithNumber, 100},
    {kGroupReady, 2, Format::kWithString, kFormatBuffer},
    {kGroupFinish, 4, Format::kWithString, kFormatBuffer},
    {kGroupMessages, 2, Format::kMessage, kFormatBuffer},
    {kGroupMessages, 3, Format::kMessage, kFormatBuffer},
    {kGroupMessages, 9, Format::kMessage, kFormatBuffer},
    {kGroupMessages, 12, Format::kMessage, kFormatBuffer},
    {kGroupMessages, 15, Format::kMessage, kFormatBuffer},
    {kGroupMessages, 16, Format::kMessage, kFormatBuffer},
    {kGroupMessages, 17, Format::kMessage, kFormatBuffer},
    {kGroupMessages, 18, Format::kMessage, kFormatBuffer},
    {kGroupMessages, 19, Format::kMessage, kFormatBuffer},
    {kGroupMessages, 20, Format::kMessage, kFormatBuffer},
    {kGroupMessages, 21, Format::kMessage, kFormatBuffer},
    {kGroupMessages, 22, Format::kMessage, kFormatBuffer},
    {kGroupMessages, 28, Format::kWithNumber, 200},
    {kGroupMessages, 29, Format::kWithString, kFormatBuffer},
    {kGroupMessages, 30, Format::kWithString, kFormatBuffer},
    {kGroupMessages, 33, Format::kMessage, 512},
    // The uninstaller sizes its buffers to the text; only the directives matter.
    {kGroupUninstaller, 0, Format::kMessage, kUnlimited},
    {kGroupUninstaller, 1, Format::kMessage, kUnlimited},
    {kGroupUninstaller, 2, Format::kMessage, kUnlimited},
    {kGroupUninstaller, 3, Format::kMessage, kUnlimited},
    {kGroupUninstaller, 4, Format::kMessage, kUnlimited},
    {kGroupUninstaller, 5, Format::kMessage, kUnlimited},
};

// Group-6 indexes that the finish page frames with group 5, index 4.
constexpr int kInstallErrors[] = {2, 3, 12, 15, 16, 17, 18, 19, 20, 21, 22};
// Groups whose index 0 is a page title.
constexpr int kPageGroups[] = {kGroupWelcome, kGroupInformation, kGroupSetupTypes, kGroupDestination,
                               kGroupReady,   kGroupProgress,    kGroupFinish};

struct Directives {
    int strings = 0;   // %s
    int numbers = 0;   // %d
    int percents = 0;  // %%
    bool unknown = false;
};

Directives ScanDirectives(const std::string& text) {
    Directives d;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (next == 's') ++d.strings;
        else if (next == 'd') ++d.numbers;
        else if (next == '%') ++d.percents;
        else d.unknown = true;
        ++i;
    }
    return d;
}

const std::string& TextAt(const StringTable& table, int group, int index) {
    static const std::string empty;
    const std::vector<std::string>& texts = table[size_t(group)];
    return size_t(index) < texts.size() ? texts[size_t(index)] : empty;
}

bool IsFormatted(const FormatRule& rule, const std::string& text) {
    return rule.format != Format::kMessage || text.find("%s") != std::string::npos;
}

// Length without terminator once formatted, with the widest argument.
size_t FormattedLength(const FormatRule& rule, const std::string& text, size_t argument) {
    if (!IsFormatted(rule, text)) return text.size();
    Directives d = ScanDirectives(text);
    return text.size() - 2 * size_t(d.strings + d.numbers) - size_t(d.percents) +
           size_t(d.strings + d.numbers) * argument;
}

const FormatRule& RuleFor(int group, int index) {
    for (const FormatRule& rule : kFormatRules)
        if (rule.group == group && rule.index == index) return rule;
    static const FormatRule none = {-1, -1, Format::kMessage, kFormatBuffer};
    return none;
}

std::string Where(int group, int index) {
    return "group " + std::to_string(group) + ", index " + std::to_string(index) + ": ";
}

void CheckDirectives(const FormatRule& rule, const std::string& text, std::vector<std::string>& problems) {
    if (!IsFormatted(rule, text)) return;
    Directives d = ScanDirectives(text);
    bool number = rule.format == Format::kWithNumber;
    if (d.unknown || (number ? d.strings : d.numbers) > 0)
        problems.push_back(Where(rule.group, rule.index) + (number ? "only %d and %% may follow a %"
                                                                   : "only %s and %% may follow a %"));
    if ((number ? d.numbers : d.strings) > 1)
        problems.push_back(Where(rule.group, rule.index) + (number ? "more than one %d" : "more than one %s"));
}

}  // namespace

const char kDocumentIntroduction[] = "To read the notes that come with the software now, click Open Document.";
const char kProgramIntroduction[] = "Setup can start the software for you when it closes.";

const NamedText kNamedTexts[3] = {
    {"finish.document", kDocumentIntroduction},
    {"finish.program", kProgramIntroduction},
    {"dialog.browse", "B&rowse..."},
};

const std::vector<std::string>& DefaultGroupTexts(int group) {
    static const std::vector<std::string> none;
    return group >= 0 && group < kStringGroupCount ? Defaults()[size_t(group)] : none;
}

StringTable DefaultStringTable() { return Defaults(); }

std::vector<std::string> CheckStringTable(const StringTable& table) {
    std::vector<std::string> problems;
    for (int g = 0; g < kStringGroupCount; ++g) {
        const std::vector<std::string>& texts = table[size_t(g)];
        if (texts.size() > 0xFFFF) problems.push_back("group " + std::to_string(g) + ": more than 65535 texts");
        for (size_t i = 0; i < texts.size(); ++i)
            if (texts[i].find('\0') != std::string::npos)
                problems.push_back(Where(g, int(i)) + "a zero byte inside the text");
    }

    for (const FormatRule& rule : kFormatRules) {
        const std::string& text = TextAt(table, rule.group, rule.index);
        CheckDirectives(rule, text, problems);
        if (rule.group == kGroupFinish) continue;  // its argument is measured below
        size_t argument = rule.format == Format::kWithNumber ? kNumberArgument : kPathArgument;
        if (FormattedLength(rule, text, argument) + 1 > rule.buffer)
            problems.push_back(Where(rule.group, rule.index) + "longer than its " + std::to_string(rule.buffer) +
                               "-byte buffer once formatted");
    }

    // The finish page frames the longest install error text.
    size_t longest_error = 0;
    for (int index : kInstallErrors)
        longest_error = std::max(longest_error, FormattedLength(RuleFor(kGroupMessages, index),
                                                                TextAt(table, kGroupMessages, index), kPathArgument));
    const FormatRule& frame = RuleFor(kGroupFinish, 4);
    if (FormattedLength(frame, TextAt(table, kGroupFinish, 4), longest_error) + 1 > frame.buffer)
        problems.push_back(Where(kGroupFinish, 4) + "the framed install error text does not fit 1024 bytes");

    // The destination page shows 8, two line feeds and the formatted 9 in one buffer.
    size_t check_failure = TextAt(table, kGroupMessages, 8).size() + 2 +
                           FormattedLength(RuleFor(kGroupMessages, 9), TextAt(table, kGroupMessages, 9), kPathArgument);
    if (check_failure + 1 > kFormatBuffer)
        problems.push_back(Where(kGroupMessages, 8) + "with index 9 it does not fit 1024 bytes");

    // Framed mode captions are "setup title - page title" in one buffer.
    const std::string& title = TextAt(table, kGroupMessages, 0);
    for (int group : kPageGroups) {
        const std::string& page_title = TextAt(table, group, 0);
        if (!page_title.empty() && title.size() + 3 + page_title.size() + 1 > kFormatBuffer)
            problems.push_back(Where(group, 0) + "with the setup title the caption does not fit 1024 bytes");
    }
    return problems;
}

std::string FormatDirectives(int group, int index, const std::string& text) {
    if (RuleFor(group, index).group < 0) return "";
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        out += (out.empty() ? "%" : " %") + text.substr(i + 1, 1);  // a '%' at the end stands alone
        ++i;
    }
    return out;
}
