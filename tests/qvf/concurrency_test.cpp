// Threads on the registry: different files proceed in parallel and a close
// never tears a read apart. (Two readers of one file: read_ahead_test.)
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "qvf/memory_storage.h"
#include "qvf_test_support.h"

namespace corvane::qvf {
namespace {

using test::frameMatches;
using test::TempDir;

constexpr std::uint32_t kFrames = 24;

// On disk, and in memory, whose files must be as safe to use side by side.
TEST(RegistryThreads, DifferentFilesInParallel) {
  TempDir dir;
  MemoryStorage memory;
  for (Storage* storage : {&diskStorage(), static_cast<Storage*>(&memory)}) {
    const std::string paths[2] = {dir / "a.qvf", dir / "b.qvf"};
    OpenFileRegistry registry(*storage);
    auto writeAndVerify = [&](int i) {
      test::createSmall(paths[i], *storage);
      test::writeFrames(registry, paths[i], kFrames, 1000 * i);
      for (std::uint32_t n = 0; n < kFrames; ++n)
        EXPECT_TRUE(frameMatches(registry, paths[i], n, 1000 * i + n));
    };
    std::thread first(writeAndVerify, 0), second(writeAndVerify, 1);
    first.join();
    second.join();
    EXPECT_EQ(frameCount(registry, paths[0].c_str()), kFrames);
    EXPECT_EQ(frameCount(registry, paths[1].c_str()), kFrames);
  }
}

TEST(RegistryThreads, ClosingWhileAnotherThreadReads) {
  TempDir dir;
  const std::string path = dir / "closing.qvf";
  test::createSmall(path);
  OpenFileRegistry registry;
  test::writeFrames(registry, path, 1, 9);
  std::atomic<int> failures{0};
  std::thread reader([&] {
    for (int i = 0; i < 300; ++i)
      if (!frameMatches(registry, path, 0, 9)) ++failures;
  });
  for (int i = 0; i < 100; ++i) registry.closeByName(path.c_str());
  reader.join();
  EXPECT_EQ(failures.load(), 0) << "a close tore a read apart";
}

}  // namespace
}  // namespace corvane::qvf
