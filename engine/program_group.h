// Program-group shortcuts: links in a folder below the Start menu's
// Programs folder (groups of several levels are made as needed), or
// straight in the Start menu ("#Start Menu#") or its Startup folder
// ("#Startup#"), each recorded in the install log's shortcuts section.
#pragma once
#include <cstdint>

struct LogFile;

// Makes the link `name`.lnk to target in the folder that folder_spec
// selects, with the arguments and the icon (0: none). When the folder is
// there or could be made, records the link in the log (when one is given),
// also if the link itself could not be saved. A special folder the shell
// does not know makes neither link nor record.
void CreateProgramGroupShortcut(const char* target, const char* folder_spec, const char* name, const char* arguments,
                                uint16_t icon_index, LogFile* log);

// The program-group shortcuts of every entry of the current file list that
// names one, in list order. With a log, the first of them opens the
// shortcuts section, which holds a record for each link recorded.
void CreateProgramGroupShortcuts(LogFile* log);
