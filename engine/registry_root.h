// Registry roots by the number the package stores.
#pragma once
#include <windows.h>

#include <cstdint>

inline HKEY RegistryRoot(uint32_t number) {
    switch (number) {
    case 0: return HKEY_CLASSES_ROOT;
    case 2: return HKEY_LOCAL_MACHINE;
    case 3: return HKEY_USERS;
    default: return HKEY_CURRENT_USER;
    }
}
