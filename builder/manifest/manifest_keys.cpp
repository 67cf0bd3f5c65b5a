#include "builder/manifest/manifest_keys.h"

const std::vector<ManifestKey> kManifestKeys = {
    {"", "setup"}, {"", "dialogs"}, {"", "type"}, {"", "texts"},

    {"setup", "title"}, {"setup", "full_screen"}, {"setup", "remove_other_types"}, {"setup", "start_page"},
    {"setup", "initial_type"}, {"setup", "compression"}, {"setup", "uninstaller"}, {"setup", "background_picture"},
    {"setup", "side_picture"}, {"setup", "background_title"}, {"setup", "title_font"}, {"setup", "texts"},
    {"setup", "volume_size"}, {"setup", "auto_delta"}, {"setup", "pacing"}, {"setup", "icon"}, {"setup", "version"},
    {"setup", "company"}, {"setup", "description"}, {"setup", "copyright"}, {"setup", "privileges"},
    {"setup", "architecture"}, {"setup", "pack_stub"}, {"setup", "lzma_window"},
    {"setup", "languages"},

    {"setup.title_font", "face"}, {"setup.title_font", "height"}, {"setup.title_font", "weight"},
    {"setup.title_font", "italic"}, {"setup.title_font", "color"}, {"setup.title_font", "shadow"},

    {"setup.texts", "*"},
    {"texts", "*"},  // [texts.<tag>], each keyed as [setup.texts]
    {"texts.file", "text_file"},  // "group.index" = { text_file = "..." } in either texts table

    {"dialogs", "resources"}, {"dialogs", "0"}, {"dialogs", "1"}, {"dialogs", "2"}, {"dialogs", "3"}, {"dialogs", "4"},
    {"dialogs", "5"}, {"dialogs", "6"}, {"dialogs", "7"}, {"dialogs", "8"},

    {"type", "name"}, {"type", "uninstall_key"}, {"type", "folder"}, {"type", "folder_editable"},
    {"type", "remember_registry"}, {"type", "remember_ini"}, {"type", "texts"}, {"type", "file"}, {"type", "ini"},
    {"type", "registry"}, {"type", "patch"}, {"type", "uninstall_entry"},

    {"type.remember_registry", "root"}, {"type.remember_registry", "key"}, {"type.remember_registry", "value"},
    {"type.remember_ini", "file"}, {"type.remember_ini", "section"}, {"type.remember_ini", "key"},

    {"type.uninstall_entry", "display_version"}, {"type.uninstall_entry", "publisher"},
    {"type.uninstall_entry", "display_icon"}, {"type.uninstall_entry", "install_location"},
    {"type.uninstall_entry", "estimated_size"}, {"type.uninstall_entry", "no_modify"},
    {"type.uninstall_entry", "no_repair"}, {"type.uninstall_entry", "quiet_uninstall"},

    {"type.texts", "*"},

    {"type.file", "source"}, {"type.file", "target"}, {"type.file", "recursive"}, {"type.file", "destination"},
    {"type.file", "placement"}, {"type.file", "shared_count"}, {"type.file", "role"}, {"type.file", "action"},
    {"type.file", "version_test"}, {"type.file", "language_test"}, {"type.file", "file_times"},
    {"type.file", "uninstaller"}, {"type.file", "group_shortcut"}, {"type.file", "desktop_shortcut"},
    {"type.file", "delta_base"},

    {"type.file.group_shortcut", "folder"}, {"type.file.group_shortcut", "name"},
    {"type.file.group_shortcut", "arguments"}, {"type.file.group_shortcut", "icon"},
    {"type.file.desktop_shortcut", "name"}, {"type.file.desktop_shortcut", "arguments"},
    {"type.file.delta_base", "type"}, {"type.file.delta_base", "file"},

    {"type.ini", "file"}, {"type.ini", "section"}, {"type.ini", "key"}, {"type.ini", "value"},
    {"type.ini", "keep_existing"},
    {"type.registry", "root"}, {"type.registry", "key"}, {"type.registry", "name"}, {"type.registry", "data"},
    {"type.registry", "keep_existing"},
    {"type.patch", "file"}, {"type.patch", "data"}, {"type.patch", "offset"}, {"type.patch", "pattern"},
};

std::vector<std::string> KeysOf(const std::string& table) {
    std::vector<std::string> keys;
    for (const ManifestKey& k : kManifestKeys)
        if (table == k.table) keys.push_back(k.key);
    return keys;
}
