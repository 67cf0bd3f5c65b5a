#include "engine/removal_targets.h"

#include <cstring>
#include <initializer_list>

#include "engine/path_text.h"

namespace {

constexpr char kUninstallPrefix[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool SameText(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool Known(const char* folder) { return folder && folder[0]; }

bool SameFolder(const char* a, const char* b) {
    if (!Known(b)) return false;
    size_t n = std::strlen(b);
    return std::strlen(a) == n && SameText(a, b, n);
}

// One element of a path, as the platform would take it unchanged.
bool PlainComponent(const char* s, size_t n) {
    if (n == 0 || s[n - 1] == '.' || s[n - 1] == ' ') return false;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (i + 1 < n && IsLeadByte(s[i])) ++i;  // a two-byte character, whatever its second byte
        else if (c < 32 || std::strchr("\\/:*?\"<>|", c)) return false;
    }
    return true;
}

// A path under construction in a fixed buffer; any mistake empties it.
struct PathBuilder {
    char* out;
    size_t length = 0;
    bool ok = true;

    explicit PathBuilder(char* buffer) : out(buffer) { out[0] = 0; }

    void Raw(const char* s, size_t n) {
        if (!ok || n >= kRemovalPathSize - length) return Fail();
        std::memcpy(out + length, s, n);
        length += n;
        out[length] = 0;
    }
    // Appends "\" + each backslash-separated element of s[0, n).
    void Components(const char* s, size_t n) {
        size_t start = 0;
        for (size_t i = 0; i <= n && ok; ++i) {
            if (i + 1 < n && IsLeadByte(s[i])) {
                ++i;  // a two-byte character, whatever its second byte
                continue;
            }
            if (i < n && s[i] != '\\') continue;
            if (!PlainComponent(s + start, i - start)) return Fail();
            Raw("\\", 1);
            Raw(s + start, i - start);
            start = i + 1;
        }
    }
    // Appends "\" + one element.
    void Name(const LogText& name) {
        if (!PlainComponent(name.data, name.size)) return Fail();
        Raw("\\", 1);
        Raw(name.data, name.size);
    }
    void Fail() {
        ok = false;
        length = 0;
        out[0] = 0;
    }
};

// "X:" or "\\server\share" at the start of an absolute folder; its length, or 0.
size_t RootLength(const char* s, size_t n) {
    if (n >= 2 && s[1] == ':' && Lower(s[0]) >= 'a' && Lower(s[0]) <= 'z' && (n == 2 || s[2] == '\\')) return 2;
    if (n < 5 || s[0] != '\\' || s[1] != '\\') return 0;
    const char* server_end = static_cast<const char*>(std::memchr(s + 2, '\\', n - 2));
    if (!server_end || !PlainComponent(s + 2, size_t(server_end - s - 2))) return 0;
    const char* share = server_end + 1;
    const char* share_end = static_cast<const char*>(std::memchr(share, '\\', size_t(s + n - share)));
    size_t length = share_end ? size_t(share_end - s) : n;
    return PlainComponent(share, length - size_t(share - s)) ? length : 0;
}

// An absolute folder followed by the rest of its elements.
void AbsoluteFolder(PathBuilder& b, const char* s, size_t n) {
    size_t root = RootLength(s, n);
    if (!root) return b.Fail();
    b.Raw(s, root);
    if (root < n) b.Components(s + root + 1, n - root - 1);
}

size_t ParentLength(const char* folder) {
    const char* slash = FindLastBackslash(folder);
    return slash ? size_t(slash - folder) : 0;
}

}  // namespace

// The install folder admits items only when it cannot stand for the system.
bool RemovableInstallFolder(const InstalledFolders& f) {
    if (!Known(f.install)) return false;
    char copy[kRemovalPathSize];
    PathBuilder b(copy);
    AbsoluteFolder(b, f.install, std::strlen(f.install));
    if (!b.ok || b.length == RootLength(f.install, std::strlen(f.install))) return false;  // a drive or share root
    for (const char* system : {f.windows, f.system, f.fonts})
        if (Known(system) && IsInFolder(system, f.install)) return false;
    return true;
}

namespace {

bool EndsWithLink(const LogText& name) {
    return name.size > 4 && SameText(name.data + name.size - 4, ".lnk", 4);
}

}  // namespace

bool IsInFolder(const char* path, const char* folder) {
    if (!Known(folder)) return false;
    size_t n = std::strlen(folder);
    return std::strlen(path) >= n && SameText(path, folder, n) && (path[n] == 0 || path[n] == '\\');
}

RemovalPlace ResolveFileRecord(const LogFileRecord& record, const InstalledFolders& folders, RemovalTarget* target) {
    target->place = RemovalPlace::kRefused;
    target->flags = record.flags;
    target->keep = 0;
    PathBuilder b(target->path);
    const LogText& folder = record.folder;
    const LogText& name = record.name;
    bool relative = folder.size >= 1 && folder.data[0] == '.' && (folder.size == 1 || folder.data[1] == '\\');
    if (relative) {
        if (Known(folders.install)) b.Raw(folders.install, std::strlen(folders.install));
        else b.Raw(".", 1);
        if (folder.size > 2) b.Components(folder.data + 2, folder.size - 2);
        else if (folder.size == 2) b.Fail();  // ".\" with nothing after it
    } else {
        AbsoluteFolder(b, folder.data, folder.size);
    }
    size_t folder_length = b.length;
    if (name.size) b.Name(name);
    if (!b.ok || (record.flags & ~(kLogSharedFile | kLogFont | kLogSelfRegistered))) return RemovalPlace::kRefused;

    RemovalPlace place = RemovalPlace::kRefused;
    if (RemovableInstallFolder(folders) && IsInFolder(target->path, folders.install)) {
        // A font is only ever installed into the Fonts folder.
        if (!(record.flags & kLogFont)) place = RemovalPlace::kInstallFolder;
        target->keep = ParentLength(folders.install);
    } else if (name.size && !relative) {
        target->path[folder_length] = 0;
        const char* at = target->path;
        uint8_t flags = record.flags;
        if ((flags & kLogSharedFile) && !(flags & kLogFont) &&
            (SameFolder(at, folders.system) || SameFolder(at, folders.windows)))
            place = RemovalPlace::kSharedFolder;
        else if ((flags & kLogFont) && SameFolder(at, folders.fonts))
            place = RemovalPlace::kFontsFolder;
        else if (flags == 0 && EndsWithLink(name) && SameFolder(at, folders.desktop))
            place = RemovalPlace::kDesktop;
        target->path[folder_length] = '\\';
        target->keep = folder_length;
    }
    target->place = place;
    return place;
}

RemovalPlace ResolveShortcutRecord(const LogShortcutRecord& record, const InstalledFolders& folders,
                                   RemovalTarget* target) {
    target->place = RemovalPlace::kRefused;
    target->flags = 0;
    target->keep = 0;
    PathBuilder b(target->path);
    AbsoluteFolder(b, record.folder.data, record.folder.size);
    size_t folder_length = b.length;
    b.Name(record.name);
    if (!b.ok || !EndsWithLink(record.name)) return RemovalPlace::kRefused;
    target->path[folder_length] = 0;
    // The deepest root that holds the link: the Startup folder lies inside Programs.
    size_t root = 0;
    for (const char* r : folders.shortcut_roots)
        if (IsInFolder(target->path, r) && std::strlen(r) > root) root = std::strlen(r);
    target->path[folder_length] = '\\';
    if (!root) return RemovalPlace::kRefused;
    target->keep = root;
    target->place = RemovalPlace::kShortcutRoot;
    return target->place;
}

bool ResolveUninstallKey(const InstallLog& log, char* key) {
    key[0] = 0;
    const size_t prefix = sizeof kUninstallPrefix - 1;
    const LogText& k = log.uninstall_key;
    if (!log.has_uninstall_key || log.uninstall_root != kLogUninstallRoot || k.size <= prefix ||
        k.size >= kRemovalPathSize || !SameText(k.data, kUninstallPrefix, prefix))
        return false;
    for (size_t i = prefix; i < k.size; ++i)
        if (k.data[i] == '\\' || static_cast<unsigned char>(k.data[i]) < 32) return false;
    std::memcpy(key, k.data, k.size);
    key[k.size] = 0;
    return true;
}
