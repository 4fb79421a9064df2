#include "record/lost_frames.h"

namespace corvane::record {

const char* lostCauseName(LostCause cause) {
  switch (cause) {
    case LostCause::WrongStandard:
      return "wrong_standard";
    case LostCause::UnfinishedFrame:
      return "unfinished_frame";
    case LostCause::NoFreeSlot:
      return "no_free_slot";
    case LostCause::AfterStop:
      return "after_stop";
    case LostCause::OverLimit:
      return "over_limit";
    case LostCause::FailedWrite:
      return "failed_write";
    case LostCause::NoFile:
      return "no_file";
  }
  return "unknown";
}

std::string describeTake(std::uint32_t framesWritten, const LostCounts& lost, int writeError) {
  std::string line = "written=" + std::to_string(framesWritten);
  for (std::size_t i = 0; i < kLostCauses; ++i) {
    line += ' ';
    line += lostCauseName(static_cast<LostCause>(i));
    line += '=' + std::to_string(lost[i]);
  }
  return line + " write_error=" + std::to_string(writeError);
}

}  // namespace corvane::record
