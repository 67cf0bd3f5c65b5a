#include "builder/setup_reader.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "builder/package_builder.h"
#include "builder/setup_files.h"
#include "decoder/inflate.h"
#include "package/package_format.h"

namespace {

std::string Hex(uint16_t tag) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", tag);
    return text;
}

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
        RecordUse use = UseOfRecord(r.tag);
        std::string name = "record " + std::to_string(v.records.size()) + " (tag 0x" + Hex(r.tag) + ")";
        if (r.stored_size == 0) {
            r.read = false;
            v.records.push_back(r);
            if (use == kRecordArchive) return v;  // the end of the package, with no archive
            continue;
        }
        if (use == kRecordArchive) {
            v.has_archive = true;
            v.archive_start = at;
            if (at + 4 > file.size()) {
                v.problems.push_back("the archive record is cut short");
                return v;
            }
            v.archive_length = ReadU32(&file[at]);
            v.archive_ends_file = at + 4 + v.archive_length == file.size();
            uint64_t end = std::min<uint64_t>(file.size(), at + 4 + uint64_t(v.archive_length));
            v.archive.assign(file.begin() + long(at + 4), file.begin() + long(end));
            v.records.push_back(r);
            if (v.archive_ends_file && !setup_path.empty()) ReadVolumes(v, setup_path);
            return v;
        }
        if (at + r.stored_size > file.size()) {
            v.problems.push_back(name + " runs past the end of the file");
            return v;
        }
        const uint8_t* body = &file[at];
        if (use == kRecordSkipped) {
            r.read = false;
        } else if (use == kRecordRawFields) {
            if (at + kRawFieldsSize > file.size()) {
                v.problems.push_back("the file ends inside " + name);
                return v;
            }
            r.body.assign(body, body + kRawFieldsSize);
            if (r.stored_size < kRawFieldsSize)
                v.warnings.push_back(name + " stores " + std::to_string(r.stored_size) +
                                     " bytes; the setup program reads 4, the rest from what follows it");
            if (r.tag == kTagStartPage) v.has_start_page = true;
        } else if (r.flags & kRecordCompressed) {
            uint32_t size = r.stored_size >= 4 ? ReadU32(body) : 0;
            size_t produced = 0;
            if (r.stored_size < 4 || size > (1u << 30)) {
                r.body_ok = false;
            } else {
                r.body.resize(size);  // zeros where a stream that decodes short leaves them
                r.body_ok = InflateBuffer(body + 4, r.stored_size - 4, r.body.data(), size, &produced) == kInflateOk;
            }
            if (!r.body_ok)
                v.problems.push_back(name + " does not decode within its stated size");
            else if (produced < size)
                v.warnings.push_back(name + " decodes to " + std::to_string(produced) + " of its " +
                                     std::to_string(size) + " bytes; the rest reads as zeros");
        } else {
            r.body.assign(body, body + r.stored_size);
        }
        at += r.stored_size;
        v.records.push_back(std::move(r));
    }
}

Bytes ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}
