// Threads on the registry: different files proceed in parallel, work on one
// file is serialised by its entry lock, and a close never tears a read apart.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "qvf_test_support.h"

namespace corvane::qvf {
namespace {

using test::frameMatches;
using test::TempDir;

constexpr std::uint32_t kFrames = 24;

TEST(RegistryThreads, DifferentFilesInParallel) {
  TempDir dir;
  const std::string paths[2] = {dir / "a.qvf", dir / "b.qvf"};
  OpenFileRegistry registry;
  auto writeAndVerify = [&](int i) {
    test::createSmall(paths[i]);
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

TEST(RegistryThreads, OneFileIsSerialised) {
  TempDir dir;
  const std::string path = dir / "shared.qvf";
  test::createSmall(path);
  OpenFileRegistry registry;
  test::writeFrames(registry, path, kFrames);
  std::atomic<int> inside{0}, overlaps{0}, failures{0};
  auto worker = [&](std::uint32_t offset) {
    std::vector<std::uint8_t> bgra(test::kSmallFieldBytes * 4);
    for (std::uint32_t i = 0; i < 200; ++i) {
      const std::uint32_t n = (i + offset) % kFrames;
      {
        OpenFileRegistry::Access entry = registry.access(path.c_str());
        if (inside.fetch_add(1) != 0) ++overlaps;
        std::this_thread::yield();
        inside.fetch_sub(1);
      }
      if (!frameMatches(registry, path, n, n) || !readFrameBgra(registry, path.c_str(), n, bgra.data()))
        ++failures;
    }
  };
  std::thread first(worker, 0), second(worker, kFrames / 2);
  first.join();
  second.join();
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(failures.load(), 0);
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
