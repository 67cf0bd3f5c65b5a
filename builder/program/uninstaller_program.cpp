#include "builder/program/uninstaller_program.h"

#include <algorithm>
#include <cstring>

#include "builder/manifest/build_error.h"
#include "engine/uninstaller_data.h"
#include "package/package_format.h"

namespace {

size_t FindBlock(const Bytes& b, size_t from) {
    for (size_t i = from; i + kUninstallerBlockSize <= b.size(); ++i)
        if (std::memcmp(&b[i], kUninstallerMarker, sizeof kUninstallerMarker) == 0) return i;
    return b.size();
}

void PutU16(Bytes& b, size_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); }

}  // namespace

Bytes PrepareUninstallerProgram(Bytes program) {
    size_t block = FindBlock(program, 0);
    if (block == program.size()) throw BuildError("the uninstaller program has no data block");
    if (FindBlock(program, block + 1) != program.size())
        throw BuildError("the uninstaller program holds more than one data block");
    WriteU32(&program[block + sizeof kUninstallerMarker], uint32_t(program.size()));
    return program;
}

Bytes UninstallerEntryData(const StringTable& texts) {
    auto text = [&texts](int group, size_t index) -> std::string {
        const std::vector<std::string>& g = texts[size_t(group)];
        std::string t = index < g.size() ? g[index] : std::string();
        return t.substr(0, 0xFFFF);
    };
    Bytes d(4, 0);
    PutU16(d, kUninstallerTextCount);
    for (int i = 0; i < kUninstallerTextCount; ++i) {
        std::string t = i == kTextProductName ? text(kGroupMessages, 0) : text(kGroupUninstaller, size_t(i - 1));
        PutU16(d, t.size());
        d.insert(d.end(), t.begin(), t.end());
    }
    WriteU32(d.data(), uint32_t(d.size()));
    // The closing header: an empty end record.
    Bytes closing(kRecordHeaderSize, 0);
    WriteU16(closing.data(), kLogEndTag);
    d.insert(d.end(), closing.begin(), closing.end());
    return d;
}

ProductFile UninstallerEntry(const StringTable& texts) {
    ProductFile f;
    f.target = kUninstallerTarget;
    f.uninstaller = true;
    f.file_times = false;
    f.content = UninstallerEntryData(texts);
    return f;
}
