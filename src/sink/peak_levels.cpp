#include "sink/peak_levels.h"

#include <algorithm>

namespace corvane::sink {

void lowerPeakBytes(std::span<std::uint8_t> buffer, std::size_t dataSize, std::size_t bytesPerGroup) {
  const std::size_t groups = std::min((dataSize + 3) / 4, buffer.size() / 4);
  for (std::size_t group = 0; group < groups; ++group) {
    std::uint8_t* bytes = buffer.data() + group * 4;
    for (std::size_t i = 0; i < bytesPerGroup; ++i) {
      if (bytes[i] == 255) bytes[i] = 254;
    }
  }
}

}  // namespace corvane::sink
