#include "record/take_report.h"

#include <fstream>

#include "platform/environment.h"

namespace corvane::record {

void reportTake(const RecordDevice& device) {
  const std::optional<std::string> path = platform::environmentValue("CORVANE_RECORD_REPORT");
  if (!path || path->empty()) return;
  std::ofstream out(*path, std::ios::app | std::ios::binary);
  out << describeTake(device.position().frames, device.lostByCause(), device.firstWriteError()) << '\n';
}

}  // namespace corvane::record
