// Stands in for a preview program: notes its process id in the file that
// CORVANE_STAND_IN_LOG names, then waits to be stopped.
#include <chrono>
#include <fstream>
#include <thread>

#include "support/system.h"

int main() {
  if (const auto log = corvane::testing::environmentValue("CORVANE_STAND_IN_LOG"))
    std::ofstream(*log, std::ios::app) << corvane::testing::currentProcessId() << "\n";
  std::this_thread::sleep_for(std::chrono::seconds(60));
  return 0;
}
