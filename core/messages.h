#pragma once

// The texts the user reads. The window and the command-line companion
// show the same words, so they live here once.
namespace brisakett::messages {

inline constexpr const char* kAppTitle = "Brisakett";
inline constexpr const char* kVersion = "1.00";

inline constexpr const char* kCommandExecuted = "Kommando ausgeführt";
inline constexpr const char* kCommandFailed = "Kommando fehlgeschlagen";
inline constexpr const char* kPrinterNotRecognized =
    "The Printer Name you typed wasn't recognized.";
inline constexpr const char* kSysInfoUnavailable =
    "System Information Is Unavailable At This Time";

}  // namespace brisakett::messages
