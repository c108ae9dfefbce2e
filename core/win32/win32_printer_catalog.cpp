#include "win32/win32_printer_catalog.h"

#include <windows.h>
#include <winspool.h>

#include "win32/system_error_text.h"
#include "win32/utf16.h"

namespace brisakett {

// The local spooler answers at once or not at all (its service stopped),
// so there is no deadline to keep.
SpoolerAnswer<std::vector<std::string>> Win32PrinterCatalog::DeviceNames(Deadline&) const {
  constexpr DWORD kFlags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
  // Level 4 reads the spooler's own list without asking print servers.
  DWORD needed = 0;
  DWORD count = 0;
  EnumPrintersW(kFlags, nullptr, 4, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer;
  BOOL listed = FALSE;
  // The list may grow between the two calls; ask again with the new size.
  while (!listed && needed > 0) {
    buffer.resize(needed);
    listed = EnumPrintersW(kFlags, nullptr, 4, buffer.data(), needed, &needed, &count);
    if (!listed && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      return {{}, SystemErrorText(GetLastError())};
    }
  }
  if (!listed) return {};

  const auto* printers = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
  std::vector<std::string> names;
  names.reserve(count);
  for (DWORD i = 0; i < count; ++i) names.push_back(Utf8FromWide(printers[i].pPrinterName));
  return {names, {}};
}

SpoolerAnswer<std::optional<std::string>> Win32PrinterCatalog::DefaultDeviceName(
    Deadline&) const {
  DWORD size = 0;
  GetDefaultPrinterW(nullptr, &size);
  if (size == 0) return {};  // no default printer
  std::wstring name(size, L'\0');
  if (!GetDefaultPrinterW(name.data(), &size)) return {};
  name.resize(size > 0 ? size - 1 : 0);  // size counts the NUL
  return {Utf8FromWide(name), {}};
}

}  // namespace brisakett
