// The clipboard stand-in: in-process, with registered format names. Data put on it is
// a copy of the bytes; the clipboard holds one entry per format until it is emptied.
#pragma once

#include "platform/SysUtils.h"

#include <cstdint>
#include <vector>

// The number of a format name: the same name (without regard to ASCII case) always
// gives the same number, from 0xC000 on; 0 for an empty name. 0 is never a format.
uint32_t RegisterClipboardFormat(const AnsiString& name);
// The name of a registered format; empty for any other number.
AnsiString GetClipboardFormatName(uint32_t format);

void EmptyClipboard();
// Replaces the clipboard's contents with this one entry; False for format 0 or an
// unregistered number.
bool SetClipboardData(uint32_t format, const std::vector<uint8_t>& data);
bool IsClipboardFormatAvailable(uint32_t format);
// False (data emptied) when the clipboard holds nothing of that format.
bool GetClipboardData(uint32_t format, std::vector<uint8_t>& data);
