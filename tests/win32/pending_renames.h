// The delayed moves Windows NT keeps for the next restart
// (PendingFileRenameOperations): read for tests, and put back as they were
// when a test is done.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

constexpr char kPendingRenamesKey[] = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPendingRenamesValue[] = "PendingFileRenameOperations";

// Every name of the delayed moves, one after the other, each ended by '|'.
inline std::string PendingRenames() {
    HKEY key;
    std::string names(65536, '\0');
    DWORD size = DWORD(names.size());
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPendingRenamesKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return "";
    if (RegQueryValueExA(key, kPendingRenamesValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&names[0]), &size) != 0)
        size = 0;
    RegCloseKey(key);
    names.resize(size);
    for (char& c : names)
        if (!c) c = '|';
    return names;
}

// Saves the value when made; Restore() writes it back (or deletes it when
// there was none).
class SavedPendingRenames {
public:
    SavedPendingRenames() {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPendingRenamesKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return;
        DWORD size = 0;
        existed_ = RegQueryValueExA(key, kPendingRenamesValue, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS;
        data_.resize(size);
        if (existed_ && size) RegQueryValueExA(key, kPendingRenamesValue, nullptr, &type_, data_.data(), &size);
        RegCloseKey(key);
    }
    void Restore() const {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPendingRenamesKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
        if (existed_) RegSetValueExA(key, kPendingRenamesValue, 0, type_, data_.data(), DWORD(data_.size()));
        else RegDeleteValueA(key, kPendingRenamesValue);
        RegCloseKey(key);
    }

private:
    bool existed_ = false;
    DWORD type_ = REG_MULTI_SZ;
    std::vector<BYTE> data_;
};
