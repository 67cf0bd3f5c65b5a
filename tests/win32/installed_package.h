// Whole installations for the Windows-side tests: a setup file made from
// products described in the builder's terms (records as the builder lays
// them out, files in stored-block streams), loaded as the setup program
// loads it, installed by the install driver, and the post-install actions.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "builder/manifest/dialog_templates.h"
#include "engine/checksum.h"
#include "engine/install_driver.h"
#include "engine/post_install.h"
#include "package/package_loader.h"
#include "package/setup_config.h"
#include "startup/process_state.h"
#include "tests/win32/package_file.h"
#include "tests/win32/test_files.h"

struct PackagedFile {
    ProductFile file;
    Bytes content;
    bool damage_checksum = false;
};

inline PackagedFile FileOf(const std::string& target, const Bytes& content, uint8_t placement = kPlacementRemoved) {
    PackagedFile f{TestFile(target), content};
    f.file.placement = placement;
    return f;
}

struct PackagedType {
    ProductType type;
    std::vector<PackagedFile> files;
};

struct PackageContents {
    uint32_t setup_flags = 0;
    std::optional<uint16_t> start_page;
    Bytes uninstaller;  // record 0x123F
    std::vector<PackagedType> types;
};

// The closing record header the package's uninstaller ends with, whose
// place the install log takes.
inline Bytes UninstallerBody(const std::string& program) {
    Bytes body(program.begin(), program.end());
    for (uint8_t b : {0x7F, 0x7F, 0, 0, 0, 0, 0, 0}) body.push_back(b);
    return body;
}

inline Bytes SetupFileBytes(const PackageContents& p) {
    Bytes archive;
    std::vector<TestRecord> records = {{kTagDialogTemplates, BuildDialogTemplateTable(DefaultDialogTemplates())},
                                       {kTagSetupFlags, U32Body(p.setup_flags)}};
    if (!p.uninstaller.empty()) records.push_back({kTagUninstaller, p.uninstaller});
    if (p.start_page) {
        Bytes start(4);
        WriteU16(start.data(), *p.start_page);
        records.push_back({kTagStartPage, start});
    }
    for (size_t k = 0; k < p.types.size(); ++k) {
        const PackagedType& t = p.types[k];
        std::vector<Bytes> entries;
        for (const PackagedFile& f : t.files) {
            ArchivedFile a;
            if (f.file.placement <= kPlacementRemoved) {
                Bytes stream = StoredStreamOf(f.content);
                a.archive_offset = uint32_t(archive.size());
                a.stored_size = uint32_t(stream.size());
                a.unpacked_size = uint32_t(f.content.size());
                a.checksum = ChecksumUpdate(0, f.content.data(), f.content.size()) + (f.damage_checksum ? 1 : 0);
                archive.insert(archive.end(), stream.begin(), stream.end());
            }
            entries.push_back(FileListEntry(f.file, a, uint16_t(k)));
        }
        records.push_back({kTagSetupType, SetupTypeRecord(t.type)});
        records.push_back({kTagFileList, FileList(entries)});
        if (!t.type.ini.empty()) records.push_back({kTagIniEntries, IniTable(t.type.ini)});
        if (!t.type.registry.empty()) records.push_back({kTagRegistryEntries, RegistryTable(t.type.registry)});
        if (!t.type.patches.empty()) records.push_back({kTagFilePatches, PatchTable(t.type.patches)});
        if (t.type.uninstall_values)
            records.push_back({kTagUninstallValues, UninstallValuesBody(*t.type.uninstall_values)});
    }
    records.push_back({kTagArchive, ArchiveRecordBody(archive)});
    Bytes file(kTestStubLength, 'S');
    for (const TestRecord& r : records) PutRecord(file, r);
    return file;
}

// The setup file on disk and loaded, with `type` selected and the
// destination folder set as the destination page leaves it.
struct InstalledPackage {
    std::unique_ptr<SetupFileOnDisk> file;
    bool loaded = false;

    InstalledPackage(const PackageContents& p, int type, const std::string& destination) {
        file.reset(new SetupFileOnDisk(SetupFileBytes(p)));
        Load();
        SelectSetupType(type);
        lstrcpynA(g_state.destination_folder, destination.c_str(), MAX_PATH);
    }
    // Loads the file again, as a later run of the same setup does.
    void Load() {
        FreeSetupConfig();
        ResetProcessState();
        lstrcpynA(g_state.source_path, file->path.c_str(), MAX_PATH);
        loaded = LoadPackage(kTestStubLength);
    }
    // The driver to its end, then the post-install actions; the install error.
    int Install() {
        if (StartInstall())
            while (InstallStep()) {
            }
        RunPostInstallActions();
        return g_state.install_error;
    }
    ~InstalledPackage() { FreeSetupConfig(); }
};

inline std::string TempFolder(const std::string& name) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + name + " " + std::to_string(GetCurrentProcessId()) + "\\";
}

inline bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline void RemoveTree(std::string folder) {
    if (!folder.empty() && folder.back() == '\\') folder.pop_back();
    folder += '\0';
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = folder.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationA(&op);
}

// A path of the build tree as the Windows side names it.
inline std::string BuildTreePath(const char* unix_path) {
    std::string path = std::string("Z:") + unix_path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}
