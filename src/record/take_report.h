// The outcome of a record device's last take, appended as one line to the
// file that CORVANE_RECORD_REPORT names when the device closes: frames
// written, frames lost by cause, and the error number of the first failed
// write. The host sees only whether a frame was lost; the record command and
// the tests read the causes and the reason here.
#pragma once

#include "record/record_device.h"

namespace corvane::record {

// Does nothing when the variable is unset or the file cannot be appended to.
void reportTake(const RecordDevice& device);

}  // namespace corvane::record
