// How this system names and finds the files a program looks for by name: the
// file name of a shared library, the separator of PATH's list, and where a
// program's own libraries are installed.
#pragma once

#include <string>
#include <string_view>

namespace corvane::platform {

#ifdef _WIN32
inline constexpr std::string_view kSharedLibraryPrefix = "";
inline constexpr std::string_view kSharedLibrarySuffix = ".dll";
inline constexpr std::string_view kExecutableSuffix = ".exe";
inline constexpr char kPathListSeparator = ';';
// The system's own folders are searched whatever PATH says.
inline constexpr std::string_view kDefaultProgramPath = "";
// The loader finds a program's DLLs beside it, so they are installed there.
inline constexpr bool kLibrariesBesidePrograms = true;
#else
inline constexpr std::string_view kSharedLibraryPrefix = "lib";
inline constexpr std::string_view kSharedLibrarySuffix = ".so";
inline constexpr std::string_view kExecutableSuffix = "";
inline constexpr char kPathListSeparator = ':';
// Where the system looks when PATH is unset.
inline constexpr std::string_view kDefaultProgramPath = "/usr/local/bin:/usr/bin:/bin";
// Libraries go to ../lib from the programs' bin/.
inline constexpr bool kLibrariesBesidePrograms = false;
#endif

// "libNAME.so" on Linux, "NAME.dll" on Windows.
inline std::string sharedLibraryFileName(std::string_view name) {
  return std::string(kSharedLibraryPrefix).append(name).append(kSharedLibrarySuffix);
}

}  // namespace corvane::platform
