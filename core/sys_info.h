#pragma once

#include <string>

#include "process_starter.h"
#include "registry.h"

namespace brisakett {

// Where Windows records its System Information tool, below
// HKEY_LOCAL_MACHINE: first the tool's full path, else the folder that
// holds kMsinfoFileName.
inline constexpr const char* kMsinfoKeyName = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
inline constexpr const char* kMsinfoPathValueName = "PATH";
inline constexpr const char* kSharedToolsLocationKeyName =
    "SOFTWARE\\Microsoft\\Shared Tools Location";
inline constexpr const char* kSharedToolsMsinfoValueName = "MSINFO";
inline constexpr const char* kMsinfoFileName = "\\MSINFO32.EXE";

// Reads the value `SubKeyRef` of the key `KeyName` below `KeyRoot`:
// - a string (type 1) gives its text, less one terminating NUL;
// - a 32-bit number (type 4) gives its decimal text;
// - empty data give the empty text;
// - any other type leaves `KeyVal` as the caller passed it.
// Returns true in all these cases. Returns false, with `KeyVal` empty, when
// the key does not open or the value cannot be read, which includes a
// value larger than 1024 bytes. An opened key is always closed again.
bool GetKeyValue(Registry& registry, RegistryRoot KeyRoot, const std::string& KeyName,
                 const std::string& SubKeyRef, std::string& KeyVal);

// Finds the System Information tool through the registry and starts it
// without waiting. Returns false when it is not found or does not start;
// the caller then shows messages::kSysInfoUnavailable.
bool StartSysInfo(Registry& registry, ProcessStarter& starter);

}  // namespace brisakett
