#include "builder/program/stub_resources.h"

#include <algorithm>

#include "builder/manifest/build_error.h"
#include "builder/manifest/code_page.h"
#include "builder/program/pe_resources.h"
#include "package/package_format.h"

namespace {

constexpr size_t kIconHeader = 6, kIconEntry = 16, kGroupEntry = 14;
constexpr uint16_t kUsEnglish = 0x409, kUnicode = 1200;

void PutU16(Bytes& out, uint16_t v) { out.push_back(uint8_t(v)), out.push_back(uint8_t(v >> 8)); }
void PutU32(Bytes& out, uint32_t v) { PutU16(out, uint16_t(v)), PutU16(out, uint16_t(v >> 16)); }
void PutText(Bytes& out, const std::u16string& text) {
    for (char16_t c : text) PutU16(out, c);
    PutU16(out, 0);
}
void PadTo4(Bytes& out) { out.resize((out.size() + 3) & ~size_t(3)); }

// One block of a version resource: length, value length, type, key, the
// value and the children, each from a 4-byte boundary.
Bytes VersionBlock(const std::u16string& key, const Bytes& value, uint16_t value_length, bool text,
                   const std::vector<Bytes>& children) {
    Bytes out(6);
    PutText(out, key);
    PadTo4(out);
    out.insert(out.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        PadTo4(out);
        out.insert(out.end(), child.begin(), child.end());
    }
    WriteU16(&out[0], uint16_t(out.size()));
    WriteU16(&out[2], value_length);
    WriteU16(&out[4], text ? 1 : 0);
    return out;
}

}  // namespace

std::string IconProblem(const Bytes& ico) {
    if (ico.size() < kIconHeader || ReadU16(&ico[0]) != 0 || ReadU16(&ico[2]) != 1)
        return "is not an icon file (.ico)";
    size_t count = ReadU16(&ico[4]);
    if (!count) return "holds no images";
    if (ico.size() < kIconHeader + count * kIconEntry) return "ends inside its list of images";
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* e = &ico[kIconHeader + i * kIconEntry];
        uint64_t size = ReadU32(e + 8), at = ReadU32(e + 12);
        if (!size || at + size > ico.size())
            return "image " + std::to_string(i + 1) + " lies outside the file (is it truncated?)";
    }
    return "";
}

bool ReadVersionText(const std::string& text, std::array<uint16_t, 4>& parts) {
    parts = {};
    size_t part = 0, digits = 0;
    uint32_t value = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            if (!digits || part == 4) return false;
            parts[part++] = uint16_t(value);
            value = 0, digits = 0;
        } else if (text[i] >= '0' && text[i] <= '9' && digits < 5) {
            value = value * 10 + uint32_t(text[i] - '0');
            ++digits;
            if (value > 0xFFFF) return false;
        } else {
            return false;
        }
    }
    return true;
}

Bytes VersionResource(const SetupIdentity& identity) {
    std::array<uint16_t, 4> v{};
    if (!identity.version.empty() && !ReadVersionText(identity.version, v))
        throw BuildError("the version '" + identity.version + "' is not of the form 1.2.3.4");
    Bytes fixed;
    for (uint32_t word : {0xFEEF04BDu, 0x00010000u, uint32_t(v[0]) << 16 | v[1], uint32_t(v[2]) << 16 | v[3],
                          uint32_t(v[0]) << 16 | v[1], uint32_t(v[2]) << 16 | v[3],
                          0x3Fu, 0u,         // flags mask, flags
                          0x00040004u,       // VOS_NT_WINDOWS32
                          1u, 0u, 0u, 0u})   // VFT_APP, subtype, date
        PutU32(fixed, word);

    std::vector<Bytes> strings;
    auto add = [&](const char16_t* key, const std::string& value) {
        if (value.empty()) return;
        std::string refusal;  // none: the manifest's texts are UTF-8, as TOML is
        std::u16string text = Utf16FromUtf8(value, &refusal);
        Bytes bytes;
        PutText(bytes, text);
        strings.push_back(VersionBlock(key, bytes, uint16_t(text.size() + 1), true, {}));
    };
    add(u"CompanyName", identity.company);
    add(u"FileDescription", identity.description);
    add(u"FileVersion", identity.version);
    add(u"LegalCopyright", identity.copyright);
    add(u"ProductName", identity.product_name);
    add(u"ProductVersion", identity.version);
    Bytes table = VersionBlock(u"040904B0", {}, 0, true, strings);
    Bytes translation;
    PutU16(translation, kUsEnglish);
    PutU16(translation, kUnicode);
    Bytes var = VersionBlock(u"VarFileInfo", {}, 0, true, {VersionBlock(u"Translation", translation, 4, false, {})});
    return VersionBlock(u"VS_VERSION_INFO", fixed, uint16_t(fixed.size()), false,
                        {VersionBlock(u"StringFileInfo", {}, 0, true, {table}), var});
}

// System DPI awareness: the pages are laid out in dialog units, which
// follow the system font's size, so Windows need not stretch them into a
// blur. Not per monitor: nothing re-lays the pages out when a window moves
// to a screen of another scale. Common controls 6 gives the buttons the
// system's look.
std::string ApplicationManifest(bool administrator) {
    return std::string(
               "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
               "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
               "<dependency><dependentAssembly><assemblyIdentity type=\"win32\" "
               "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" processorArchitecture=\"*\" "
               "publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/></dependentAssembly></dependency>\n"
               "<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\"><security><requestedPrivileges>"
               "<requestedExecutionLevel level=\"") +
           (administrator ? "requireAdministrator" : "asInvoker") +
           "\"/></requestedPrivileges></security></trustInfo>\n"
           "<compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\"><application>\n"
           "<supportedOS Id=\"{e2011457-1546-43c5-a5fe-008deee3d3f0}\"/>\n"  // Vista
           "<supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>\n"  // 7
           "<supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>\n"  // 8
           "<supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>\n"  // 8.1
           "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>\n"  // 10 and 11
           "</application></compatibility>\n"
           "<application xmlns=\"urn:schemas-microsoft-com:asm.v3\"><windowsSettings>"
           "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>"
           "</windowsSettings></application>\n"
           "</assembly>\n";
}

namespace {

// Replaces the program's manifest, number 1, with the one for the level.
void PutManifest(std::vector<Resource>& resources, bool administrator) {
    resources.erase(std::remove_if(resources.begin(), resources.end(),
                                   [](const Resource& r) {
                                       return r.type.text.empty() && r.type.number == kResourceManifest;
                                   }),
                    resources.end());
    std::string manifest = ApplicationManifest(administrator);
    resources.push_back({{kResourceManifest, {}}, {1, {}}, kUsEnglish, Bytes(manifest.begin(), manifest.end())});
}

}  // namespace

Bytes DressSetupProgram(const Bytes& stub, const SetupIdentity& identity) {
    std::vector<Resource> resources = ProgramResources(stub);
    auto remove = [&](auto&& which) {
        resources.erase(std::remove_if(resources.begin(), resources.end(), which), resources.end());
    };
    auto is = [](const Resource& r, uint16_t type) { return r.type.text.empty() && r.type.number == type; };

    if (identity.icon) {
        const Bytes& ico = *identity.icon;
        std::string problem = IconProblem(ico);
        if (!problem.empty()) throw BuildError("the icon " + problem);
        // The old group's images go with it; the new ones take numbers no
        // other icon uses.
        uint16_t language = kUsEnglish;
        std::vector<uint16_t> old_images;
        for (const Resource& r : resources)
            if (is(r, kResourceGroupIcon) && r.name == ResourceId{kSetupIconGroup, {}}) {
                language = r.language;
                for (size_t i = 0; kIconHeader + (i + 1) * kGroupEntry <= r.data.size() &&
                                   i < ReadU16(&r.data[4]); ++i)
                    old_images.push_back(ReadU16(&r.data[kIconHeader + i * kGroupEntry + 12]));
            }
        remove([&](const Resource& r) {
            return (is(r, kResourceGroupIcon) && r.name == ResourceId{kSetupIconGroup, {}}) ||
                   (is(r, kResourceIcon) && r.name.text.empty() &&
                    std::count(old_images.begin(), old_images.end(), r.name.number));
        });
        uint16_t next = 1;
        for (const Resource& r : resources)
            if (is(r, kResourceIcon) && r.name.text.empty()) next = std::max<uint16_t>(next, r.name.number + 1);
        uint16_t count = ReadU16(&ico[4]);
        if (next + count > 0x10000) throw BuildError("the setup program has no room for the icon's images");
        Bytes group(ico.begin(), ico.begin() + kIconHeader);
        for (uint16_t i = 0; i < count; ++i) {
            const uint8_t* e = &ico[kIconHeader + i * kIconEntry];
            uint32_t size = ReadU32(e + 8), at = ReadU32(e + 12);
            group.insert(group.end(), e, e + 12);
            PutU16(group, uint16_t(next + i));
            resources.push_back({{kResourceIcon, {}}, {uint16_t(next + i), {}}, language,
                                 Bytes(ico.begin() + at, ico.begin() + at + size)});
        }
        resources.push_back({{kResourceGroupIcon, {}}, {kSetupIconGroup, {}}, language, group});
    }
    remove([&](const Resource& r) { return is(r, kResourceVersion); });
    resources.push_back({{kResourceVersion, {}}, {1, {}}, kUsEnglish, VersionResource(identity)});
    PutManifest(resources, identity.administrator);
    return ReplaceProgramResources(stub, resources);
}

Bytes WithApplicationManifest(const Bytes& program, bool administrator) {
    std::vector<Resource> resources = ProgramResources(program);
    PutManifest(resources, administrator);
    return ReplaceProgramResources(program, resources);
}
