#include "builder/manifest/dialog_resources.h"

#include <stdexcept>

#include "package/package_format.h"
#include "package/package_validate.h"

namespace {

constexpr uint16_t kDialogResourceType = 5;  // RT_DIALOG

struct Required {
    int template_number;
    uint16_t id;
    const char* role;
};

// The controls whose absence breaks the wizard: buttons and fields the
// program reads or moves. Texts, figures, pictures and the progress bar are
// left out: the program passes over a control it does not find.
constexpr Required kRequired[] = {
    {kTemplateMainFramed, 1, "the Next button"},
    {kTemplateMainFramed, 2, "the Cancel button"},
    {kTemplateMainFramed, 1007, "the Back button"},
    {kTemplateMainFramed, 1006, "the placeholder where pages go"},
    {kTemplateMainFullScreen, 1, "the Next button"},
    {kTemplateMainFullScreen, 2, "the Cancel button"},
    {kTemplateMainFullScreen, 1007, "the Back button"},
    {kTemplateMainFullScreen, 1006, "the placeholder where pages go"},
    {kTemplateDestination, 1004, "the destination folder field"},
    {kTemplateFolderBrowser, 101, "the chosen folder field"},
    {kTemplateFolderBrowser, 1, "the OK button"},
    {kTemplateFolderBrowser, 2, "the Cancel button"},
    {kTemplateFolderBrowser, 0x461, "the file dialog's folder list"},
    {kTemplateFolderBrowser, 0x471, "the file dialog's drive list"},
};

// A resource file entry's name or type: 0xFFFF and a number, or a text.
struct Name {
    bool numeric;
    uint16_t number;
};

struct Reader {
    const std::vector<uint8_t>& bytes;
    size_t at;
    void Need(size_t n) const {
        if (bytes.size() - at < n || at > bytes.size()) throw std::runtime_error("the resource file is cut short");
    }
    uint32_t U32() {
        Need(4);
        uint32_t v = ReadU32(&bytes[at]);
        at += 4;
        return v;
    }
    uint16_t U16() {
        Need(2);
        uint16_t v = ReadU16(&bytes[at]);
        at += 2;
        return v;
    }
    Name ReadName() {
        uint16_t first = U16();
        if (first == 0xFFFF) return {true, U16()};
        while (first) first = U16();
        return {false, 0};
    }
};

}  // namespace

std::map<uint16_t, std::vector<uint8_t>> DialogResources(const std::vector<uint8_t>& res) {
    std::map<uint16_t, std::vector<uint8_t>> dialogs;
    Reader r{res, 0};
    while (r.at < res.size()) {
        size_t start = r.at;
        uint32_t data_size = r.U32(), header_size = r.U32();
        Name type = r.ReadName();
        Name name = r.ReadName();
        if (header_size < 8 || res.size() - start < header_size)
            throw std::runtime_error("a resource header runs past the end of the file");
        size_t data = start + header_size;  // the header's size includes its padding and fixed fields
        if (res.size() - data < data_size) throw std::runtime_error("a resource's data runs past the end of the file");
        if (type.numeric && type.number == kDialogResourceType && name.numeric)
            dialogs[name.number].assign(res.begin() + long(data), res.begin() + long(data + data_size));
        r.at = (data + data_size + 3) & ~size_t(3);
    }
    return dialogs;
}

std::optional<std::string> TemplateProblem(int template_number, const std::vector<uint8_t>& dialog, int setup_types) {
    std::vector<uint16_t> ids(dialog.size() / 2 + 1);
    uint32_t count = ReadDialogControlIds(dialog.data(), uint32_t(dialog.size()), ids.data(), uint32_t(ids.size()));
    std::string name = "template " + std::to_string(template_number);
    if (count == kUnsoundTemplate) return name + " is not a dialog template that holds together";
    ids.resize(count < ids.size() ? count : ids.size());
    auto has = [&](uint16_t id) {
        for (uint16_t i : ids)
            if (i == id) return true;
        return false;
    };
    for (const Required& r : kRequired)
        if (r.template_number == template_number && !has(r.id))
            return name + " lacks control " + std::to_string(r.id) + " (" + r.role + ")";
    if (template_number == kTemplateSetupTypes && setup_types > 1)
        for (int i = 0; i < setup_types; ++i)
            if (!has(uint16_t(1021 + i)))
                return name + " lacks control " + std::to_string(1021 + i) + " (the radio button of setup type " +
                       std::to_string(i) + ")";
    return std::nullopt;
}
