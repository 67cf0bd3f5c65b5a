#include "builder/reading/setup_identity_view.h"

#include <algorithm>

#include "builder/program/pe_resources.h"
#include "builder/program/stub_resources.h"
#include "package/package_format.h"

namespace {

std::string Utf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        // A surrogate pair is one character; a lone surrogate stays as it is.
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | c >> 6), out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | c >> 12), out += char(0x80 | (c >> 6 & 0x3F)), out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | c >> 18), out += char(0x80 | (c >> 12 & 0x3F));
            out += char(0x80 | (c >> 6 & 0x3F)), out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// UTF-16 units from `at` up to a NUL or `end`.
std::u16string Units(const uint8_t* at, const uint8_t* end) {
    std::u16string text;
    for (; at + 2 <= end && (at[0] | at[1]); at += 2) text += char16_t(at[0] | at[1] << 8);
    return text;
}

size_t Align4(size_t n) { return (n + 3) & ~size_t(3); }

std::string Dotted(uint32_t ms, uint32_t ls) {
    return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." + std::to_string(ls >> 16) + "." +
           std::to_string(ls & 0xFFFF);
}

// The blocks of a VS_VERSIONINFO between `at` and `end`, each: u16 length,
// u16 value length (in units for a text), u16 type (1: text), its key,
// its value and its children, each on a 4-byte boundary. `level` counts
// from StringFileInfo: 1 its string tables, 2 their strings.
void ReadVersionBlocks(const uint8_t* at, const uint8_t* end, int level, SetupIdentityView& out) {
    while (end - at >= 6) {
        size_t length = ReadU16(at), value_length = ReadU16(at + 2), type = ReadU16(at + 4);
        if (length < 6 || length > size_t(end - at)) return;
        const uint8_t* block_end = at + length;
        std::u16string key = Units(at + 6, block_end);
        const uint8_t* value = at + Align4(6 + 2 * (key.size() + 1));
        if (value > block_end) return;
        size_t value_bytes = std::min(type == 1 ? 2 * value_length : value_length, size_t(block_end - value));
        if (key == u"VS_VERSION_INFO" && value_bytes >= 52 && ReadU32(value) == 0xFEEF04BD) {
            out.file_version = Dotted(ReadU32(value + 8), ReadU32(value + 12));
            out.product_version = Dotted(ReadU32(value + 16), ReadU32(value + 20));
        }
        if (level == 2) out.version_texts.emplace_back(Utf8(key), Utf8(Units(value, value + value_bytes)));
        const uint8_t* children = value + Align4(value_bytes);
        int below = key == u"StringFileInfo" ? 1 : level ? level + 1 : 0;
        if (children < block_end) ReadVersionBlocks(children, block_end, below, out);
        if (size_t(end - at) <= Align4(length)) return;
        at += Align4(length);
    }
}

const Resource* Find(const std::vector<Resource>& all, uint16_t type, uint16_t name) {
    for (const Resource& r : all)
        if (r.type == ResourceId{type, {}} && (r.name == ResourceId{name, {}} || name == 0)) return &r;
    return nullptr;
}

}  // namespace

SetupIdentityView ReadSetupIdentity(const Bytes& program) {
    SetupIdentityView view;
    std::vector<Resource> resources = ProgramResources(program);
    if (const Resource* version = Find(resources, kResourceVersion, 0))
        ReadVersionBlocks(version->data.data(), version->data.data() + version->data.size(), 0, view);
    // A group: u16 reserved, type and count, then 14 bytes an image.
    if (const Resource* group = Find(resources, kResourceGroupIcon, kSetupIconGroup); group && group->data.size() >= 6) {
        const Bytes& g = group->data;
        for (size_t i = 0, n = ReadU16(&g[4]); i < n && 6 + 14 * (i + 1) <= g.size(); ++i) {
            const uint8_t* e = &g[6 + 14 * i];
            view.icon.push_back({e[0] ? e[0] : 256u, e[1] ? e[1] : 256u, ReadU16(e + 6), ReadU32(e + 8)});
        }
    }
    if (const Resource* manifest = Find(resources, kResourceManifest, 0)) {
        std::string text(manifest->data.begin(), manifest->data.end());
        size_t at = text.find("requestedExecutionLevel");
        if (at != std::string::npos) at = text.find("level=", at + 23);
        if (at != std::string::npos && at + 7 < text.size()) {
            char quote = text[at + 6];
            size_t close = text.find(quote, at + 7);
            if (close != std::string::npos) view.execution_level = text.substr(at + 7, close - at - 7);
        }
    }
    return view;
}
