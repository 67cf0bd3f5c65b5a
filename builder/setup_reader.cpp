#include "builder/setup_reader.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "builder/package_builder.h"
#include "builder/setup_files.h"
#include "decoder/inflate.h"
#include "package/package_format.h"

namespace {

// Appends the volume files beside the setup file to the archive.
void ReadVolumes(SetupFileView& v, const std::string& setup_path) {
    for (size_t k = 1;; ++k) {
        std::string path = VolumePath(setup_path, k).string();
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            v.missing_volume = path;
            return;
        }
        Bytes bytes((std::istreambuf_iterator<char>(in)), {});
        VolumeFile f{path, bytes.size() >= 4 ? ReadU32(bytes.data()) : 0, bytes.size()};
        v.volumes.push_back(f);
        if (bytes.size() < 4) {
            v.problems.push_back("volume file '" + path + "' is too short to hold its length");
            return;
        }
        uint64_t held = bytes.size() - 4;
        if (held < f.length) {
            v.problems.push_back("volume file '" + path + "' is cut short: its length says " +
                                 std::to_string(f.length) + " archive bytes, it holds " + std::to_string(held));
            return;
        }
        if (held > f.length)
            v.problems.push_back("volume file '" + path + "' holds " + std::to_string(held - f.length) +
                                 " bytes after its archive data");
        if (f.length == 0) v.problems.push_back("volume file '" + path + "' holds no archive data");
        if (v.archive.size() + f.length > 0x7FFFFFFF) {
            v.problems.push_back("the archive goes on past 2 GiB at volume file '" + path + "'");
            return;
        }
        v.archive.insert(v.archive.end(), bytes.begin() + 4, bytes.begin() + 4 + long(f.length));
        if (v.volumes.size() >= kMaxVolumeFiles) return;
    }
}

}  // namespace

SetupFileView ReadSetupFile(const Bytes& file, const std::string& setup_path) {
    SetupFileView v;
    size_t marker = FindPatchBlock(file.data(), file.size());
    if (marker == file.size()) {
        v.problems.push_back("no patch block: not a setup file");
        return v;
    }
    v.stub_length = PatchedStubLength(&file[marker]);
    if (v.stub_length == 0 || v.stub_length > file.size()) {
        v.problems.push_back("the stub length " + std::to_string(v.stub_length) + " does not lie in the file");
        return v;
    }
    uint64_t at = v.stub_length;
    for (;;) {
        if (at + kRecordHeaderSize > file.size()) {
            v.problems.push_back("the file ends before the archive record");
            return v;
        }
        ReadRecord r;
        r.offset = at;
        r.tag = ReadU16(&file[at]);
        r.flags = file[at + 2];
        r.stored_size = ReadU32(&file[at + 4]);
        at += kRecordHeaderSize;
        if (r.tag == kTagArchive) {
            v.has_archive = r.stored_size != 0;
            v.archive_start = at;
            if (!v.has_archive) {
                v.records.push_back(r);
                v.problems.push_back("the archive record is empty");
                return v;
            }
            if (at + 4 > file.size()) {
                v.problems.push_back("the archive record is cut short");
                return v;
            }
            v.archive_length = ReadU32(&file[at]);
            v.archive_ends_file = at + 4 + v.archive_length == file.size();
            if (!v.archive_ends_file)
                v.problems.push_back("the archive length " + std::to_string(v.archive_length) +
                                     " does not reach exactly to the end of the file");
            uint64_t end = std::min<uint64_t>(file.size(), at + 4 + uint64_t(v.archive_length));
            v.archive.assign(file.begin() + long(at + 4), file.begin() + long(end));
            v.records.push_back(r);
            if (v.archive_ends_file && !setup_path.empty()) ReadVolumes(v, setup_path);
            return v;
        }
        if (at + r.stored_size > file.size()) {
            v.problems.push_back("record " + std::to_string(v.records.size()) + " runs past the end of the file");
            return v;
        }
        const uint8_t* body = &file[at];
        bool raw_field = r.tag == kTagSetupFlags || r.tag == kTagStartPage;
        if ((r.flags & kRecordCompressed) && !raw_field) {
            if (r.stored_size < 4) {
                r.body_ok = false;
            } else {
                uint32_t size = ReadU32(body);
                if (size > (1u << 30)) {
                    r.body_ok = false;
                } else {
                    r.body.resize(size);
                    size_t produced = 0;
                    r.body_ok = InflateBuffer(body + 4, r.stored_size - 4, r.body.data(), size, &produced) ==
                                    kInflateOk &&
                                produced == size;
                }
            }
        } else {
            r.body.assign(body, body + r.stored_size);
        }
        if (!r.body_ok)
            v.problems.push_back("record " + std::to_string(v.records.size()) + " (tag " + std::to_string(r.tag) +
                                 ") does not decode to its stated size");
        at += r.stored_size;
        v.records.push_back(std::move(r));
    }
}

Bytes ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}
