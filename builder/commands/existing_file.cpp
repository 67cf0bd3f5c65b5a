#include "builder/commands/existing_file.h"

#include <filesystem>

#include "builder/system/file_system.h"

const CLI::Validator kExistingFile(
    [](std::string& name) -> std::string {
        std::error_code ec;
        auto status = std::filesystem::status(Utf8Path(name), ec);
        if (!std::filesystem::exists(status)) return "File does not exist: " + name;
        if (std::filesystem::is_directory(status)) return "File is actually a directory: " + name;
        return "";
    },
    "FILE");
