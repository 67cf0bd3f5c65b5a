// docs/manifest.md documents every key the manifest reader accepts, and
// no other: its rows are compared with the reader's key list.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "builder/manifest/manifest_keys.h"

namespace {

TEST(ManifestKeys, TheReferenceListsEveryKeyAndNoOther) {
    std::set<std::string> listed;
    for (const ManifestKey& k : kManifestKeys) {
        std::string name = *k.table ? std::string(k.table) + "." + k.key : k.key;
        EXPECT_TRUE(listed.insert(name).second) << name << " is listed twice";
    }
    std::ifstream in(KILN_SOURCE_DIR "/docs/manifest.md");
    ASSERT_TRUE(in);
    std::set<std::string> documented;
    // Each key is a table row that starts with the key in backticks.
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("| `", 0) != 0) continue;
        std::string key = line.substr(3, line.find('`', 3) - 3);
        EXPECT_TRUE(documented.insert(key).second) << key << " is documented twice";
    }
    for (const std::string& k : listed) EXPECT_TRUE(documented.count(k)) << k << " is not in docs/manifest.md";
    for (const std::string& k : documented) EXPECT_TRUE(listed.count(k)) << k << " is documented but not read";
}

}  // namespace
