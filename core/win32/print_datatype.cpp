#include "win32/print_datatype.h"

#include <algorithm>
#include <memory>

#include <winspool.h>

#include "win32/utf16.h"

namespace brisakett {
namespace {

constexpr const wchar_t* kRaw = L"RAW";
constexpr const wchar_t* kXpsPass = L"XPS_PASS";

bool Offers(const std::vector<std::wstring>& offered, const wchar_t* datatype) {
  return std::any_of(offered.begin(), offered.end(), [datatype](const std::wstring& name) {
    return CompareStringOrdinal(name.c_str(), -1, datatype, -1, TRUE) == CSTR_EQUAL;
  });
}

std::vector<BYTE> PrinterInfo2(WinspoolCalls& winspool, HANDLE printer) {
  DWORD needed = 0;
  winspool.GetPrinterW(printer, 2, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  if (needed == 0 || !winspool.GetPrinterW(printer, 2, buffer.data(), needed, &needed)) return {};
  return buffer;
}

}  // namespace

std::wstring ChooseDatatype(const std::vector<std::wstring>& offered) {
  if (!Offers(offered, kRaw) && Offers(offered, kXpsPass)) return kXpsPass;
  return kRaw;
}

std::vector<std::wstring> OfferedDatatypes(WinspoolCalls& winspool, HANDLE printer,
                                           const std::string& server) {
  const std::vector<BYTE> info = PrinterInfo2(winspool, printer);
  if (info.empty()) return {};
  LPWSTR processor = reinterpret_cast<const PRINTER_INFO_2W*>(info.data())->pPrintProcessor;
  if (!processor) return {};

  std::wstring serverName = server == "localhost" ? L"" : L"\\\\" + WideFromUtf8(server);
  LPWSTR asked = serverName.empty() ? nullptr : serverName.data();
  DWORD needed = 0;
  DWORD count = 0;
  winspool.EnumPrintProcessorDatatypesW(asked, processor, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed);
  if (needed == 0 || !winspool.EnumPrintProcessorDatatypesW(asked, processor, buffer.data(), needed,
                                                            &needed, &count)) {
    return {};
  }
  const auto* datatypes = reinterpret_cast<const DATATYPES_INFO_1W*>(buffer.data());
  std::vector<std::wstring> names;
  for (DWORD i = 0; i < count; ++i) names.emplace_back(datatypes[i].pName);
  return names;
}

}  // namespace brisakett
