#include "tests/host/package_fixtures.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

#include "builder/manifest/manifest.h"
#include "package/package_format.h"

namespace fs = std::filesystem;

Bytes FakeStub() {
    Bytes stub(3000, 0x90);
    std::copy(kPatchMarker, kPatchMarker + 6, stub.begin() + 1000);
    return stub;
}

Bytes Noise(size_t size, uint32_t seed) {
    Bytes out(size);
    uint32_t s = seed | 1;
    for (uint8_t& b : out) {
        s ^= s << 13, s ^= s >> 17, s ^= s << 5;
        b = uint8_t(s);
    }
    return out;
}

ScratchFolder::ScratchFolder() {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = fs::temp_directory_path() / ("kiln-" + std::string(test->test_suite_name()) + "-" + test->name() + "-" +
                                       std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ec;
    fs::remove_all(dir, ec);
}

fs::path ScratchFolder::Write(const std::string& name, const Bytes& bytes) const {
    fs::path p = dir / name;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return p;
}

ProductFile FileFrom(const fs::path& source, const std::string& target) {
    ProductFile f;
    f.source = source.string();
    f.target = target;
    return f;
}

Product ProductWith(std::vector<std::vector<ProductFile>> files_by_type) {
    Product p = LoadManifest(KILN_SOURCE_DIR "/examples/sample/kiln.toml");
    p.types.resize(files_by_type.size(), p.types.back());
    for (size_t k = 0; k < files_by_type.size(); ++k) p.types[k].files = std::move(files_by_type[k]);
    return p;
}

std::string SystemDll(const std::string& name) {
    fs::path p = fs::path("/usr/lib/i386-linux-gnu/wine/i386-windows") / name;
    std::error_code ec;
    return fs::is_regular_file(p, ec) ? p.string() : std::string();
}
