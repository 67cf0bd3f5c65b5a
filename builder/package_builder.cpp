#include "builder/package_builder.h"

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

#include "builder/dialog_templates.h"
#include "builder/pe_version.h"
#include "builder/record_bodies.h"
#include "builder/stream_encoder.h"
#include "engine/checksum.h"
#include "package/package_format.h"

namespace {

void PutHeader(Bytes& out, uint16_t tag, uint8_t flags, uint32_t size) {
    uint8_t h[kRecordHeaderSize];
    WriteU16(h, tag);
    h[2] = flags;
    h[3] = 0;
    WriteU32(h + 4, size);
    out.insert(out.end(), h, h + kRecordHeaderSize);
}

Bytes ReadSource(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) throw BuildError("cannot read source file '" + path + "'");
    Bytes b((std::istreambuf_iterator<char>(f)), {});
    if (b.size() > 0x7FFFFFFF) throw BuildError("source file '" + path + "' is larger than 2 GiB");
    return b;
}

// Seconds since 1970 to a FILETIME count of 100 ns since 1601.
uint64_t ToFileTime(const struct timespec& t) {
    return (uint64_t(t.tv_sec) + 11644473600ull) * 10000000ull + uint64_t(t.tv_nsec) / 100;
}

// The file archive: every file's stream, once per distinct content.
class ArchiveWriter {
public:
    explicit ArchiveWriter(int level) : level_(level) {}

    ArchivedFile Add(const ProductFile& file) {
        ArchivedFile a;
        Bytes data = ReadSource(file.source);
        a.unpacked_size = uint32_t(data.size());
        a.checksum = ChecksumUpdate(0, data.data(), data.size());
        if (file.version_test || file.language_test) {
            std::optional<PeVersion> v = ReadPeVersion(data);
            if (!v) throw BuildError("'" + file.source + "' has no version resource for its version or language test");
            if (file.language_test && !v->language)
                throw BuildError("'" + file.source + "' has no language in its version resource");
            a.version_ms = v->file_version_ms, a.version_ls = v->file_version_ls;
            a.product_ms = v->product_version_ms, a.product_ls = v->product_version_ls;
            a.language = v->language.value_or(0);
        }
        if (file.file_times) {
            struct stat st;
            if (stat(file.source.c_str(), &st) != 0) throw BuildError("cannot read the times of '" + file.source + "'");
            a.creation = ToFileTime(st.st_mtim);
            a.last_access = ToFileTime(st.st_mtim);
            a.last_write = ToFileTime(st.st_mtim);
        }
        auto known = stored_.find(data);
        if (known == stored_.end()) {
            Bytes stream = EncodeStream(data.data(), data.size(), level_);
            if (archive_.size() + stream.size() > 0x7FFFFFFF) throw BuildError("the file archive exceeds 2 GiB");
            known = stored_.emplace(std::move(data), std::make_pair(uint32_t(archive_.size()), uint32_t(stream.size())))
                        .first;
            archive_.insert(archive_.end(), stream.begin(), stream.end());
        }
        a.archive_offset = known->second.first;
        a.stored_size = known->second.second;
        return a;
    }

    const Bytes& bytes() const { return archive_; }

private:
    int level_;
    Bytes archive_;
    std::map<Bytes, std::pair<uint32_t, uint32_t>> stored_;
};

bool IsArchived(const ProductFile& f) { return f.placement <= 1 && !f.source.empty(); }

void PatchStub(Bytes& stub) {
    size_t found = stub.size();
    for (size_t i = 0; i + kPatchBlockSize <= stub.size(); ++i) {
        if (std::memcmp(&stub[i], kPatchMarker, sizeof kPatchMarker) != 0) continue;
        if (found != stub.size()) throw BuildError("the stub holds more than one patch block");
        found = i;
    }
    if (found == stub.size()) throw BuildError("the stub has no patch block");
    WriteU32(&stub[found + sizeof kPatchMarker], uint32_t(stub.size()));
}

}  // namespace

void AppendRecord(Bytes& out, uint16_t tag, const Bytes& body, int level) {
    Bytes packed = EncodeStream(body.data(), body.size(), level);
    if (packed.size() + 4 < body.size()) {
        PutHeader(out, tag, kRecordCompressed, uint32_t(packed.size() + 4));
        uint8_t size[4];
        WriteU32(size, uint32_t(body.size()));
        out.insert(out.end(), size, size + 4);
        out.insert(out.end(), packed.begin(), packed.end());
    } else {
        PutHeader(out, tag, 0, uint32_t(body.size()));
        out.insert(out.end(), body.begin(), body.end());
    }
}

Bytes BuildSetupFile(const Product& product, const Bytes& stub, const BuildProgress& progress) {
    if (product.types.empty() || product.types.size() > size_t(kMaxSetupTypes))
        throw BuildError("a product has one to six setup types");
    int level = product.level ? product.level : kDefaultLevel;

    // Files first: their entries need archive offsets, sizes and checksums.
    size_t total = 0, done = 0;
    for (const ProductType& t : product.types)
        for (const ProductFile& f : t.files) total += IsArchived(f);
    ArchiveWriter archive(level);
    std::vector<Bytes> file_lists;
    for (size_t k = 0; k < product.types.size(); ++k) {
        std::vector<Bytes> entries;
        for (const ProductFile& f : product.types[k].files) {
            ArchivedFile a;
            if (IsArchived(f)) {
                if (progress.on_file) progress.on_file(done++, total, f.source);
                a = archive.Add(f);
            }
            Bytes entry = FileListEntry(f, a, uint16_t(k));
            if (entry.size() > 0xFFFF) throw BuildError("the names of '" + f.target + "' are too long");
            entries.push_back(std::move(entry));
        }
        file_lists.push_back(FileList(entries));
    }
    if (progress.on_file) progress.on_file(done, total, "");

    Bytes out = stub;
    PatchStub(out);
    AppendRecord(out, kTagDialogTemplates, BuildDialogTemplateTable(product.dialog_templates), level);
    uint32_t flags = (product.full_screen ? kSetupFullScreen : 0) | (product.remove_other_types ? kSetupRemoveOtherTypes : 0);
    Bytes flags_body(4);
    WriteU32(flags_body.data(), flags);
    PutHeader(out, kTagSetupFlags, 0, 4);  // read raw by the setup program
    out.insert(out.end(), flags_body.begin(), flags_body.end());
    if (product.background_title) {
        Bytes title(product.background_title->begin(), product.background_title->end());
        title.push_back(0);
        AppendRecord(out, kTagBackgroundTitle, title, level);
    }
    if (product.background_description) AppendRecord(out, kTagBackgroundDescription, *product.background_description, level);
    if (product.background_picture) AppendRecord(out, kTagBackgroundPicture, *product.background_picture, level);
    if (product.side_picture) AppendRecord(out, kTagSidePicture, *product.side_picture, level);
    if (product.uninstaller) AppendRecord(out, kTagUninstaller, *product.uninstaller, level);
    if (product.start_page || product.initial_type) {
        Bytes start(4);
        WriteU16(start.data(), product.start_page.value_or(0xFFFF));
        WriteU16(start.data() + 2, product.initial_type);
        PutHeader(out, kTagStartPage, 0, 4);
        out.insert(out.end(), start.begin(), start.end());
    }
    for (size_t k = 0; k < product.types.size(); ++k) {
        const ProductType& t = product.types[k];
        AppendRecord(out, kTagSetupType, SetupTypeRecord(t), level);
        AppendRecord(out, kTagFileList, file_lists[k], level);
        if (!t.ini.empty()) AppendRecord(out, kTagIniEntries, IniTable(t.ini), level);
        if (!t.registry.empty()) AppendRecord(out, kTagRegistryEntries, RegistryTable(t.registry), level);
        if (!t.patches.empty()) AppendRecord(out, kTagFilePatches, PatchTable(t.patches), level);
    }
    uint32_t length = uint32_t(archive.bytes().size());
    PutHeader(out, kTagArchive, 0, length);
    uint8_t raw[4];
    WriteU32(raw, length);
    out.insert(out.end(), raw, raw + 4);
    out.insert(out.end(), archive.bytes().begin(), archive.bytes().end());
    return out;
}
