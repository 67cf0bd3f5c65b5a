// The system's register of shared files: under this key (HKEY_LOCAL_MACHINE)
// each shared file's full path names a number, how many installations use it.
#pragma once

constexpr char kSharedDllsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
