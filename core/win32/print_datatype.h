#pragma once

#include <string>
#include <vector>

#include <windows.h>

namespace brisakett {

// The data type the warm-up job is spooled as. Left to the printer, many
// drivers would take the bytes for an enhanced metafile or XPS document
// and garble or refuse them; "RAW" hands them through unchanged. Print
// processors of XPS-only drivers offer no "RAW" but pass bytes through as
// "XPS_PASS".
std::wstring ChooseDatatype(const std::vector<std::wstring>& offered);

// The data types the print processor of an open printer accepts; empty
// when the spooler does not say.
std::vector<std::wstring> OfferedDatatypes(HANDLE printer);

}  // namespace brisakett
