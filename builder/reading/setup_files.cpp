#include "builder/reading/setup_files.h"

#include <cerrno>
#include <cstring>

#include <cstdio>
#include <fstream>

#include "builder/manifest/build_error.h"
#include "builder/system/file_system.h"

namespace fs = std::filesystem;

namespace {

// The setup program replaces the text from the name's last "." on, or
// appends when there is none.
std::string VolumeStem(const fs::path& setup) {
    std::string name = Utf8Name(setup.filename());
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string VolumeExtension(size_t k) {
    char extension[32];
    std::snprintf(extension, sizeof extension, ".D%2.2zu", k);
    return extension;
}

fs::path Temporary(const fs::path& target) {
    fs::path t = target;
    t += ".part";
    return t;
}

void RemoveAll(const std::vector<fs::path>& paths) {
    std::error_code ec;
    for (const fs::path& p : paths) fs::remove(p, ec);
}

}  // namespace

fs::path VolumePath(const fs::path& setup, size_t k) { return setup.parent_path() / (VolumeStem(setup) + VolumeExtension(k)); }

size_t VolumeNumberOf(const fs::path& setup, const fs::path& file) {
    std::string stem = VolumeStem(setup) + ".D", name = Utf8Name(file.filename());
    if (name.size() <= stem.size() + 1 || name.compare(0, stem.size(), stem) != 0) return 0;
    std::string digits = name.substr(stem.size());
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
    size_t k = std::stoul(digits);
    return k != 0 && VolumeExtension(k) == ".D" + digits ? k : 0;
}

void WriteSetupSet(const fs::path& setup, const Bytes& setup_bytes, const std::vector<Bytes>& volumes) {
    // The setup file goes last: until it is in place the old set still starts with the old setup file.
    std::vector<std::pair<fs::path, const Bytes*>> files;
    for (size_t k = 1; k <= volumes.size(); ++k) files.emplace_back(VolumePath(setup, k), &volumes[k - 1]);
    files.emplace_back(setup, &setup_bytes);

    std::vector<fs::path> written;
    for (const auto& [target, bytes] : files) {
        fs::path temporary = Temporary(target);
        written.push_back(temporary);
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes->data()), std::streamsize(bytes->size()));
        if (!out.flush()) {
            out.close();
            RemoveAll(written);
            std::error_code ec;
            fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
            if (!fs::is_directory(folder, ec)) throw BuildError("the folder '" + Utf8Name(folder) + "' does not exist");
            throw BuildError("cannot write '" + Utf8Name(target) + "': " + std::strerror(errno));
        }
    }
    for (size_t i = 0; i < files.size(); ++i) {
        std::error_code ec;
        fs::rename(written[i], files[i].first, ec);
        if (ec) {
            RemoveAll(std::vector<fs::path>(written.begin() + long(i), written.end()));
            throw BuildError("cannot write '" + Utf8Name(files[i].first) + "': " + ec.message());
        }
    }

    // Volume files of an earlier, longer set would be taken for part of this one.
    std::error_code ec;
    fs::path folder = setup.parent_path().empty() ? fs::path(".") : setup.parent_path();
    std::vector<fs::path> stale;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec))
        if (VolumeNumberOf(setup, e.path()) > volumes.size()) stale.push_back(e.path());
    for (const fs::path& p : stale)
        if (!fs::remove(p, ec) && ec) throw BuildError("cannot remove the old volume file '" + Utf8Name(p) + "'");
}
