#pragma once

#include <string>
#include <vector>

#include <windows.h>

#include "win32/winspool_calls.h"

namespace brisakett {

// The data type the warm-up job is spooled as. Left to the printer, many
// drivers would take the bytes for an enhanced metafile or XPS document
// and garble or refuse them; "RAW" hands them through unchanged. Print
// processors of XPS-only drivers offer no "RAW" but pass bytes through as
// "XPS_PASS", which Microsoft documents for exactly this: printer control
// data sent straight to an XPSDrv printer, past its filter pipeline.
std::wstring ChooseDatatype(const std::vector<std::wstring>& offered);

// The data types the print processor of an open printer accepts, asked of
// `server` (PrintServerOf the printer's name), whose print processor it
// is; empty when the spooler does not say.
std::vector<std::wstring> OfferedDatatypes(WinspoolCalls& winspool, HANDLE printer,
                                           const std::string& server);

}  // namespace brisakett
