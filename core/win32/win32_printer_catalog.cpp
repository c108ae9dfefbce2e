#include "win32/win32_printer_catalog.h"

#include <windows.h>
#include <winspool.h>

#include "win32/spooler_error.h"
#include "win32/utf16.h"
#include "within_deadline.h"

namespace brisakett {
namespace {

// The list and the default are the local spooler's, which answers at once
// unless its service hangs; a printer connection's entry may still send
// the spooler to its server. Both are asked under the deadline all the
// same.
constexpr const char* kLocalSpooler = "localhost";

// What a read gave, or the error it failed with (which may be 0: some
// spoolers fail without saying why).
struct NamesRead {
  std::vector<std::string> names;
  bool failed = false;
  DWORD error = ERROR_SUCCESS;
};

NamesRead ReadDeviceNames() {
  constexpr DWORD kFlags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
  // Level 4 reads the spooler's own list without asking print servers.
  DWORD needed = 0;
  DWORD count = 0;
  if (EnumPrintersW(kFlags, nullptr, 4, nullptr, 0, &needed, &count)) return {};  // none
  std::vector<BYTE> buffer;
  // The list may grow between the two calls; ask again with the new size.
  for (;;) {
    const DWORD error = GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER || needed == 0) return {{}, true, error};
    buffer.resize(needed);
    if (EnumPrintersW(kFlags, nullptr, 4, buffer.data(), needed, &needed, &count)) break;
  }
  const auto* printers = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
  NamesRead read;
  read.names.reserve(count);
  for (DWORD i = 0; i < count; ++i) read.names.push_back(Utf8FromWide(printers[i].pPrinterName));
  return read;
}

struct DefaultRead {
  std::optional<std::string> name;
  bool failed = false;
  DWORD error = ERROR_SUCCESS;
};

DefaultRead ReadDefaultName() {
  std::wstring name;
  DWORD size = 0;
  // The default may change between the two calls; ask again with the new size.
  while (!GetDefaultPrinterW(name.empty() ? nullptr : name.data(), &size)) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return {};  // the user has no default printer
    if (error != ERROR_INSUFFICIENT_BUFFER || size == 0) return {std::nullopt, true, error};
    name.assign(size, L'\0');
  }
  name.resize(size > 0 ? size - 1 : 0);  // size counts the NUL
  return {Utf8FromWide(name)};
}

}  // namespace

SpoolerAnswer<std::vector<std::string>> Win32PrinterCatalog::DeviceNames(
    Deadline& deadline) const {
  std::optional<NamesRead> read = WithinDeadline(deadline, ReadDeviceNames);
  if (!read) return SpoolerTimedOut(kLocalSpooler);
  if (read->failed) return SpoolerFailureOf(read->error, kLocalSpooler);
  return std::move(read->names);
}

SpoolerAnswer<std::optional<std::string>> Win32PrinterCatalog::DefaultDeviceName(
    Deadline& deadline) const {
  std::optional<DefaultRead> read = WithinDeadline(deadline, ReadDefaultName);
  if (!read) return SpoolerTimedOut(kLocalSpooler);
  if (read->failed) return SpoolerFailureOf(read->error, kLocalSpooler);
  return std::move(read->name);
}

}  // namespace brisakett
