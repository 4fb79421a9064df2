// The interface descriptor each of the four query exports fills: the service's
// class and interface GUID texts, capability word, name, two fixed words and,
// except for the output device, the extension and file-type lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace corvane::exports {

struct InterfaceDescriptorLayout {
  static constexpr std::size_t kSizeWord = 0;         // read, never written
  static constexpr std::size_t kClassGuid = 4;        // char[100]
  static constexpr std::size_t kInterfaceGuid = 104;  // char[100]
  static constexpr std::size_t kCapabilities = 204;
  static constexpr std::size_t kServiceName = 208;  // char[100]
  static constexpr std::size_t kFixedTwo = 308;
  static constexpr std::size_t kFixedOne = 312;
  static constexpr std::size_t kExtensions = 316;  // address of a one-entry text table
  static constexpr std::size_t kFileTypes = 320;   // address of a one-entry text table
  static constexpr std::size_t kTextCapacity = 100;
  static constexpr std::size_t kSize = 324;
};
static_assert(InterfaceDescriptorLayout::kFileTypes + 4 == InterfaceDescriptorLayout::kSize);
static_assert(InterfaceDescriptorLayout::kServiceName + InterfaceDescriptorLayout::kTextCapacity ==
              InterfaceDescriptorLayout::kFixedTwo);

struct ServiceDescription {
  std::string_view interfaceGuid;
  std::string_view name;
  std::uint32_t capabilities;
  bool fileLists;  // the output device leaves the two list words alone
};

inline constexpr std::string_view kClassGuid = "6155CBD0-C294-11d2-BA18-004005A189AE";

inline constexpr ServiceDescription kFileInput{"6155CBD2-C294-11d2-BA18-004005A189AE",
                                               "Video Corvane QVF File Input", 9, true};
inline constexpr ServiceDescription kFileOutput{"6155CBD3-C294-11d2-BA18-004005A189AE",
                                                "Video Corvane QVF File Output", 1, true};
inline constexpr ServiceDescription kOutputDevice{"6155CBD1-C294-11d2-BA18-004005A189AE",
                                                  "Video Corvane Output Device", 1, false};
// The record device announces the file input's interface GUID, not one of its own.
inline constexpr ServiceDescription kRecordDevice{"6155CBD2-C294-11d2-BA18-004005A189AE",
                                                  "Video Corvane Record Device", 1, true};

// Fills the descriptor of one service at address, after checking its size
// word: 0 for a record that is too small, else 1. A null address throws
// HostRecordError, for the guarded query to report.
std::int32_t fillInterfaceDescriptor(void* address, const ServiceDescription& service);

}  // namespace corvane::exports
