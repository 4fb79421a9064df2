// Threads on the registry: different files proceed in parallel, work on one
// file is serialised by its entry lock.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "qvf/reader.h"
#include "qvf/registry.h"
#include "qvf/writer.h"
#include "qvf_test_support.h"

namespace corvane::qvf {
namespace {

using test::kSmallFieldBytes;
using test::patternFrame422;
using test::TempDir;

constexpr std::uint32_t kFrames = 24;

// Writes kFrames frames of seeds base, base + 1, ... then reads them all back.
void writeAndVerify(OpenFileRegistry& registry, const std::string& path, std::uint32_t base,
                    std::atomic<int>& failures) {
  for (std::uint32_t n = 0; n < kFrames; ++n) {
    const platform::PageBuffer frame = patternFrame422(kSmallFieldBytes, base + n);
    if (!writeFrame422(registry, path.c_str(), frame.data())) ++failures;
  }
  platform::PageBuffer back(kSmallFieldBytes * 2);
  for (std::uint32_t n = 0; n < kFrames; ++n) {
    const platform::PageBuffer expected = patternFrame422(kSmallFieldBytes, base + n);
    if (!readFrame422(registry, path.c_str(), n, back.data()) ||
        !std::equal(expected.bytes().begin(), expected.bytes().end(), back.data()))
      ++failures;
  }
}

TEST(RegistryThreads, DifferentFilesInParallel) {
  TempDir dir;
  const std::string a = dir / "a.qvf", b = dir / "b.qvf";
  test::createSmall(a);
  test::createSmall(b);
  OpenFileRegistry registry;
  std::atomic<int> failures{0};
  std::thread first([&] { writeAndVerify(registry, a, 0, failures); });
  std::thread second([&] { writeAndVerify(registry, b, 1000, failures); });
  first.join();
  second.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(frameCount(registry, a.c_str()), kFrames);
  EXPECT_EQ(frameCount(registry, b.c_str()), kFrames);
}

TEST(RegistryThreads, OneFileIsSerialised) {
  TempDir dir;
  const std::string path = dir / "shared.qvf";
  test::createSmall(path);
  OpenFileRegistry registry;
  for (std::uint32_t n = 0; n < kFrames; ++n) {
    const platform::PageBuffer frame = patternFrame422(kSmallFieldBytes, n);
    ASSERT_TRUE(writeFrame422(registry, path.c_str(), frame.data()));
  }
  std::atomic<int> inside{0};
  std::atomic<int> overlaps{0};
  std::atomic<int> failures{0};
  auto worker = [&](std::uint32_t offset) {
    platform::PageBuffer back(kSmallFieldBytes * 2);
    std::vector<std::uint8_t> bgra(kSmallFieldBytes * 4);
    for (std::uint32_t i = 0; i < 200; ++i) {
      const std::uint32_t n = (i + offset) % kFrames;
      {
        OpenFileRegistry::Access entry = registry.access(path.c_str());
        if (inside.fetch_add(1) != 0) ++overlaps;
        std::this_thread::yield();
        inside.fetch_sub(1);
      }
      const platform::PageBuffer expected = patternFrame422(kSmallFieldBytes, n);
      if (!readFrame422(registry, path.c_str(), n, back.data()) ||
          !std::equal(expected.bytes().begin(), expected.bytes().end(), back.data()))
        ++failures;
      if (!readFrameBgra(registry, path.c_str(), n, bgra.data())) ++failures;
    }
  };
  std::thread first(worker, 0);
  std::thread second(worker, kFrames / 2);
  first.join();
  second.join();
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(failures.load(), 0);
}

TEST(RegistryThreads, FullSizeConversionsFromTwoThreads) {
  // Large enough for the helper thread: it must finish each frame before the
  // entry lock passes on.
  TempDir dir;
  const std::string path = dir / "full.qvf";
  create(path.c_str(), 2, 0, 720, 240, 25.0f);
  OpenFileRegistry registry;
  constexpr std::uint32_t kField = 345600;
  for (std::uint32_t n = 0; n < 2; ++n) {
    const platform::PageBuffer frame = patternFrame422(kField, n);
    ASSERT_TRUE(writeFrame422(registry, path.c_str(), frame.data()));
  }
  std::vector<std::uint8_t> reference(720 * 480 * 4);
  ASSERT_TRUE(readFrame444(registry, path.c_str(), 1, reference.data()));
  std::atomic<int> failures{0};
  auto worker = [&] {
    std::vector<std::uint8_t> frame(reference.size());
    for (int i = 0; i < 6; ++i) {
      if (!readFrameBgra(registry, path.c_str(), i % 2, frame.data())) ++failures;
      if (!readFrame444(registry, path.c_str(), 1, frame.data()) || frame != reference) ++failures;
    }
  };
  std::thread first(worker), second(worker);
  first.join();
  second.join();
  EXPECT_EQ(failures.load(), 0);
}

TEST(RegistryThreads, ClosingWhileAnotherThreadReads) {
  TempDir dir;
  const std::string path = dir / "closing.qvf";
  test::createSmall(path);
  OpenFileRegistry registry;
  const platform::PageBuffer frame = patternFrame422(kSmallFieldBytes, 9);
  ASSERT_TRUE(writeFrame422(registry, path.c_str(), frame.data()));
  std::atomic<int> failures{0};
  std::thread reader([&] {
    platform::PageBuffer back(kSmallFieldBytes * 2);
    for (int i = 0; i < 300; ++i)
      if (!readFrame422(registry, path.c_str(), 0, back.data())) ++failures;
  });
  for (int i = 0; i < 100; ++i) registry.closeByName(path.c_str());
  reader.join();
  EXPECT_EQ(failures.load(), 0) << "a close tore a read apart";
}

}  // namespace
}  // namespace corvane::qvf
