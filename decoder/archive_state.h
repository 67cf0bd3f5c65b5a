// Where the file archive lies: the package loader notes its start in the
// setup file; the archive reader continues from here during installation.
#pragma once
#include <windows.h>

#include <cstdint>

struct ArchiveState {
    HANDLE handle;             // the current volume, or INVALID_HANDLE_VALUE
    int volume_number;         // 0: the setup file itself; k: the .Dk volume file
    uint32_t start_position;   // file position of the archive length in the setup file
    uint32_t volume_length;    // archive bytes in the current volume
    uint32_t volume_base;      // archive offset of the current volume's first byte
    uint32_t volume_remainder; // bytes of the current volume not yet read
    bool prompt_mode;          // ask for a missing disk (the relaunched copy)
    // 15 or 18 once a read since the last positioning ran into a volume of
    // the set that it could not have (prompt cancelled, volume missing);
    // else 0.
    int lost_volume;
    // From the integrity record: volume files are checked against their
    // trailers when opened (package/integrity.h); a damaged one, one of
    // another set, or one beyond the set's count counts as missing.
    bool volumes_checked;
    uint32_t volume_count;
    uint32_t set_mark;
};

extern ArchiveState g_archive;
