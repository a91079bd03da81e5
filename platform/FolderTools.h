// File ages and folder creation, for the global folders and the external plug-in list.
#pragma once

#include "platform/SysUtils.h"

#include <cstdint>

// The file's modification time as the class library's file-age integer: a DOS date
// and time in local time (bits 25-31 year - 1980, 21-24 month, 16-20 day, 11-15 hour,
// 5-10 minute, 0-4 seconds / 2). -1 when there is no such regular file.
int32_t FileAge(const AnsiString& name);

// Creates the folder with every missing parent. True when it exists afterwards.
bool ForceDirectories(const AnsiString& folder);
