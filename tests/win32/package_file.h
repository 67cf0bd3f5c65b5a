// Setup files for the setup program's tests: a stand-in stub of any length,
// then records as the test lists them, then the archive record.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "builder/manifest/product.h"
#include "builder/assembly/record_bodies.h"
#include "package/package_format.h"
#include "tests/common/stream_writer.h"

struct TestRecord {
    uint16_t tag;
    Bytes body;
    bool compressed = false;
    int stored_size = -1;  // as written in the header; -1: the body's real size
    bool mark_compressed = false;  // set the flag on a body given as it is
};

// A stored-block stream of the body, as a compressed record carries it.
inline Bytes StoredStreamOf(const Bytes& body) {
    StreamWriter w;
    size_t at = 0;
    do {
        size_t n = std::min<size_t>(body.size() - at, 65535);
        bool last = at + n == body.size();
        w.Put(7 | (last ? 8 : 0), 4);
        w.AlignToByte();
        w.Put(uint32_t(n), 16);
        for (size_t i = 0; i < n; ++i) w.Put(body[at + i], 8);
        at += n;
    } while (at < body.size());
    return w.Finish();
}

inline void PutRecord(Bytes& out, const TestRecord& r) {
    Bytes body = r.body;
    if (r.compressed) {
        Bytes stream = StoredStreamOf(r.body);
        body.assign(4, 0);
        WriteU32(body.data(), uint32_t(r.body.size()));
        body.insert(body.end(), stream.begin(), stream.end());
    }
    uint8_t h[8];
    WriteU16(h, r.tag);
    h[2] = r.compressed || r.mark_compressed ? 1 : 0;
    h[3] = 0;
    WriteU32(h + 4, r.stored_size >= 0 ? uint32_t(r.stored_size) : uint32_t(body.size()));
    out.insert(out.end(), h, h + 8);
    out.insert(out.end(), body.begin(), body.end());
}

inline Bytes ArchiveRecordBody(const Bytes& archive, int length_delta = 0) {
    Bytes b(4);
    WriteU32(b.data(), uint32_t(int64_t(archive.size()) + length_delta));
    b.insert(b.end(), archive.begin(), archive.end());
    return b;
}

inline Bytes U32Body(uint32_t v) {
    Bytes b(4);
    WriteU32(b.data(), v);
    return b;
}

// A setup type with a few texts in groups 0 and 6.
inline ProductType TestType(const std::string& name, const std::string& folder) {
    ProductType t;
    t.display_name = name;
    t.uninstall_key = name;
    t.default_folder = folder;
    t.texts[0] = {"Welcome " + name};
    t.texts[6] = std::vector<std::string>(32, "");
    t.texts[6][0] = name + " Setup";
    t.texts[6][31] = "The setup file is damaged.";
    return t;
}

inline ProductFile TestFile(const std::string& target) {
    ProductFile f;
    f.target = target;
    f.file_times = false;
    return f;
}

inline Bytes TestFileList(const std::vector<std::string>& targets) {
    std::vector<Bytes> entries;
    for (const std::string& t : targets) entries.push_back(FileListEntry(TestFile(t), ArchivedFile{}, 0));
    return FileList(entries);
}

constexpr uint32_t kTestStubLength = 512;

// Writes a stand-in stub and the records to a temporary file; deleted with the object.
struct SetupFileOnDisk {
    std::string path;
    explicit SetupFileOnDisk(const std::vector<TestRecord>& records, uint32_t stub_length = kTestStubLength) {
        Bytes file(stub_length, 'S');
        for (const TestRecord& r : records) PutRecord(file, r);
        Write(file);
    }
    explicit SetupFileOnDisk(const Bytes& file) { Write(file); }
    void Write(const Bytes& file) {
        char folder[MAX_PATH], name[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        GetTempFileNameA(folder, "kst", 0, name);
        path = name;
        HANDLE h = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written;
        if (!file.empty()) WriteFile(h, file.data(), DWORD(file.size()), &written, nullptr);
        CloseHandle(h);
    }
    ~SetupFileOnDisk() { DeleteFileA(path.c_str()); }
};
