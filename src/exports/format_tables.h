// The tables of three format descriptors ("4:2:2", "4:4:4", "RGBA-32") that
// the info exports hand to the host. The host keeps a table's address until
// it calls a release export that does nothing, and may read it from any
// thread, so a table is filled once and never written again: the load-time
// geometry's at construction, any other the first time a file of that frame
// geometry is described.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "engine/video_mode.h"
#include "exports/format_descriptor.h"

namespace corvane::exports {

// The constant list of format indices both info records point at: 0, 1, 2
// and a terminating 0.
inline constexpr std::uint8_t kFormatIndexList[4] = {0, 1, 2, 0};

class FormatTables {
 public:
  static constexpr std::size_t kFormats = 3;
  // A session that meets more frame geometries than this gets no table for
  // a new one: what files can make the plug-in keep stays bounded.
  static constexpr std::size_t kMaxGeometries = 1024;

  explicit FormatTables(const VideoMode& mode);
  FormatTables(const FormatTables&) = delete;
  FormatTables& operator=(const FormatTables&) = delete;

  // The load-time geometry's table, which the file output accepts.
  const std::uint8_t* accepted() const { return accepted_->front().data(); }
  // The table of a frame of width x height (the whole frame); nullptr once
  // kMaxGeometries others exist. Thread-safe.
  const std::uint8_t* offered(std::uint32_t width, std::uint32_t height);

 private:
  using Table = std::array<std::array<std::uint8_t, FormatDescriptorLayout::kSize>, kFormats>;
  std::unique_ptr<Table> makeTable(std::uint32_t width, std::uint32_t height) const;

  const VideoMode mode_;
  std::unique_ptr<Table> accepted_;
  std::mutex lock_;
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::unique_ptr<Table>> offered_;  // guarded by lock_
};

}  // namespace corvane::exports
