// Colour conversion speed, side by side in one run: each of our kernel
// variants and the dispatched entry points against libyuv, libswscale and a
// plain memcpy of the same bytes. The engine's pattern is one call per
// 720-pixel row, bottom-up into B G R A, so that is what "frame" measures.
// "hot" reuses one frame (in cache); "cold" cycles through 64 frames.
// Each frame benchmark also reports max_err, the largest difference from the
// exact matrix (tests/pixeltools/color_model.h) on a random frame.
#include <benchmark/benchmark.h>

extern "C" {
#include <libswscale/swscale.h>
}
#include <libyuv/convert_argb.h>
#include <libyuv/convert_from_argb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/pixeltools.h"
#include "pixeltools/color_model.h"
#include "pixeltools/kernel_table.h"

namespace {

using corvane::pixeltools::KernelSet;
using corvane::pixeltools::kernelSets;

constexpr int kWidth = 720;
constexpr int kHeight = 480;
constexpr int kColdFrames = 64;
constexpr std::size_t kYuvRow = kWidth * 2;
constexpr std::size_t kBgraRow = kWidth * 4;
constexpr std::size_t kYuvFrame = kYuvRow * kHeight;
constexpr std::size_t kBgraFrame = kBgraRow * kHeight;

enum class Direction { Decode, Encode };

std::size_t srcFrameBytes(Direction d) { return d == Direction::Decode ? kYuvFrame : kBgraFrame; }
std::size_t dstFrameBytes(Direction d) { return d == Direction::Decode ? kBgraFrame : kYuvFrame; }
std::size_t srcRowBytes(Direction d) { return d == Direction::Decode ? kYuvRow : kBgraRow; }
std::size_t dstRowBytes(Direction d) { return d == Direction::Decode ? kBgraRow : kYuvRow; }

// 64 frames of random source in both layouts, and destinations for them.
struct Pool {
  std::vector<std::uint8_t> yuv, bgra, dstYuv, dstBgra;
  Pool()
      : yuv(kYuvFrame * kColdFrames),
        bgra(kBgraFrame * kColdFrames),
        dstYuv(yuv.size()),
        dstBgra(bgra.size()) {
    std::mt19937 rng(2024);
    for (auto& b : yuv) b = static_cast<std::uint8_t>(rng());
    for (auto& b : bgra) b = static_cast<std::uint8_t>(rng());
  }
  const std::uint8_t* src(Direction d, int frame) const {
    return d == Direction::Decode ? &yuv[kYuvFrame * frame] : &bgra[kBgraFrame * frame];
  }
  std::uint8_t* dst(Direction d, int frame) {
    return d == Direction::Decode ? &dstBgra[kBgraFrame * frame] : &dstYuv[kYuvFrame * frame];
  }
};

Pool& pool() {
  static Pool p;
  return p;
}

// A conversion as the benchmarks see it: one row call, and the frame as the
// candidate does it best (480 row calls, or one whole-frame call).
struct Candidate {
  std::string name;
  Direction direction;
  std::function<void(std::uint8_t*, const std::uint8_t*)> row;    // empty: no row-level API
  std::function<void(std::uint8_t*, const std::uint8_t*)> frame;  // bottom-up B G R A side
};

// Row r of the 4:2:2 side pairs with B G R A row kHeight - 1 - r.
template <class RowOp>
void bottomUp(Direction d, std::uint8_t* dst, const std::uint8_t* src, RowOp op) {
  for (int r = 0; r < kHeight; ++r) {
    if (d == Direction::Decode) {
      op(dst + kBgraRow * (kHeight - 1 - r), src + kYuvRow * r);
    } else {
      op(dst + kYuvRow * r, src + kBgraRow * (kHeight - 1 - r));
    }
  }
}

int maxErrorVsModel(const Candidate& c) {
  Pool& p = pool();
  c.frame(p.dst(c.direction, 0), p.src(c.direction, 0));
  using corvane::pixeltools::testing::modelDecode;
  using corvane::pixeltools::testing::modelEncode;
  int worst = 0;
  for (int r = 0; r < kHeight; ++r) {
    if (c.direction == Direction::Decode) {
      const std::uint8_t* s = p.src(c.direction, 0) + kYuvRow * r;
      const std::uint8_t* o = p.dst(c.direction, 0) + kBgraRow * (kHeight - 1 - r);
      for (int x = 0; x < kWidth; ++x) {
        const std::uint8_t* m = s + 4 * (x / 2);
        const auto exact = modelDecode(m[1 + 2 * (x % 2)], m[0], m[2]);
        for (int ch = 0; ch < 3; ++ch) worst = std::max(worst, std::abs(o[4 * x + ch] - exact[ch]));
      }
    } else {
      const std::uint8_t* s = p.src(c.direction, 0) + kBgraRow * (kHeight - 1 - r);
      const std::uint8_t* o = p.dst(c.direction, 0) + kYuvRow * r;
      for (int x = 0; x < kWidth; x += 2) {
        const auto exact = modelEncode(s + 4 * x);
        for (int k = 0; k < 4; ++k) worst = std::max(worst, std::abs(o[2 * x + k] - exact[k]));
      }
    }
  }
  return worst;
}

void runRow(benchmark::State& state, const Candidate& c, bool cold) {
  Pool& p = pool();
  int frame = 0, row = 0;
  for (auto _ : state) {
    const std::uint8_t* src = p.src(c.direction, frame) + srcRowBytes(c.direction) * row;
    std::uint8_t* dst = p.dst(c.direction, frame) + dstRowBytes(c.direction) * (kHeight - 1 - row);
    c.row(dst, src);
    benchmark::ClobberMemory();
    if (cold && ++row == kHeight) {
      row = 0;
      frame = (frame + 1) % kColdFrames;
    }
  }
  state.SetItemsProcessed(state.iterations() * kWidth);
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(srcRowBytes(c.direction) + dstRowBytes(c.direction)));
}

void runFrame(benchmark::State& state, const Candidate& c, bool cold, int maxErr) {
  Pool& p = pool();
  int frame = 0;
  for (auto _ : state) {
    c.frame(p.dst(c.direction, frame), p.src(c.direction, frame));
    benchmark::ClobberMemory();
    if (cold) frame = (frame + 1) % kColdFrames;
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(srcFrameBytes(c.direction) + dstFrameBytes(c.direction)));
  if (maxErr >= 0) state.counters["max_err"] = maxErr;
  if (c.name == "ours/dispatched") state.SetLabel(corvane::pixeltools::selectedKernelSet().name);
}

Candidate ours(const KernelSet& set, Direction d) {
  const KernelSet* s = &set;
  auto row = d == Direction::Decode ? std::function<void(std::uint8_t*, const std::uint8_t*)>(
                                          [s](std::uint8_t* o, const std::uint8_t* i) {
                                            corvane::pixeltools::decodeWith(*s, o, i, kWidth);
                                          })
                                    : [s](std::uint8_t* o, const std::uint8_t* i) {
                                        corvane::pixeltools::encodeWith(*s, o, i, kWidth);
                                      };
  auto frame = d == Direction::Decode
                   ? std::function<void(std::uint8_t*, const std::uint8_t*)>(
                         [s](std::uint8_t* o, const std::uint8_t* i) {
                           bottomUp(Direction::Decode, o, i, [s](std::uint8_t* ro, const std::uint8_t* ri) {
                             corvane::pixeltools::decodeWith(*s, ro, ri, kWidth);
                           });
                         })
                   : [s](std::uint8_t* o, const std::uint8_t* i) {
                       bottomUp(Direction::Encode, o, i, [s](std::uint8_t* ro, const std::uint8_t* ri) {
                         corvane::pixeltools::encodeWith(*s, ro, ri, kWidth);
                       });
                     };
  return {std::string("ours/") + set.name, d, row, frame};
}

std::vector<Candidate> candidates() {
  std::vector<Candidate> all;
  for (const KernelSet& set : kernelSets()) {
    if (!set.available) continue;
    all.push_back(ours(set, Direction::Decode));
    all.push_back(ours(set, Direction::Encode));
  }
  all.push_back({"ours/dispatched", Direction::Decode,
                 [](std::uint8_t* o, const std::uint8_t* i) { corvane::decode_ycbcr8_bgra(o, i, kWidth); },
                 [](std::uint8_t* o, const std::uint8_t* i) {
                   bottomUp(Direction::Decode, o, i, [](std::uint8_t* ro, const std::uint8_t* ri) {
                     corvane::decode_ycbcr8_bgra(ro, ri, kWidth);
                   });
                 }});
  all.push_back({"ours/dispatched", Direction::Encode,
                 [](std::uint8_t* o, const std::uint8_t* i) { corvane::encode_bgra_ycbcr8(o, i, kWidth); },
                 [](std::uint8_t* o, const std::uint8_t* i) {
                   bottomUp(Direction::Encode, o, i, [](std::uint8_t* ro, const std::uint8_t* ri) {
                     corvane::encode_bgra_ycbcr8(ro, ri, kWidth);
                   });
                 }});
  // libyuv's "ARGB" is B G R A in memory. Row: one call of height 1, as the
  // engine would call it; frame (whole): one call with a negative stride.
  all.push_back(
      {"libyuv/rows", Direction::Decode,
       [](std::uint8_t* o, const std::uint8_t* i) { libyuv::UYVYToARGB(i, kYuvRow, o, kBgraRow, kWidth, 1); },
       [](std::uint8_t* o, const std::uint8_t* i) {
         bottomUp(Direction::Decode, o, i, [](std::uint8_t* ro, const std::uint8_t* ri) {
           libyuv::UYVYToARGB(ri, kYuvRow, ro, kBgraRow, kWidth, 1);
         });
       }});
  all.push_back(
      {"libyuv/rows", Direction::Encode,
       [](std::uint8_t* o, const std::uint8_t* i) { libyuv::ARGBToUYVY(i, kBgraRow, o, kYuvRow, kWidth, 1); },
       [](std::uint8_t* o, const std::uint8_t* i) {
         bottomUp(Direction::Encode, o, i, [](std::uint8_t* ro, const std::uint8_t* ri) {
           libyuv::ARGBToUYVY(ri, kBgraRow, ro, kYuvRow, kWidth, 1);
         });
       }});
  all.push_back({"libyuv/whole", Direction::Decode, {}, [](std::uint8_t* o, const std::uint8_t* i) {
                   libyuv::UYVYToARGB(i, kYuvRow, o + kBgraRow * (kHeight - 1), -static_cast<int>(kBgraRow),
                                      kWidth, kHeight);
                 }});
  all.push_back({"libyuv/whole", Direction::Encode, {}, [](std::uint8_t* o, const std::uint8_t* i) {
                   libyuv::ARGBToUYVY(i + kBgraRow * (kHeight - 1), -static_cast<int>(kBgraRow), o, kYuvRow,
                                      kWidth, kHeight);
                 }});
  // libswscale: one context per direction, made once; BT.601 limited range is
  // its default for these formats. Point sampling keeps chroma unfiltered.
  static SwsContext* toBgra = sws_getContext(kWidth, kHeight, AV_PIX_FMT_UYVY422, kWidth, kHeight,
                                             AV_PIX_FMT_BGRA, SWS_POINT, nullptr, nullptr, nullptr);
  static SwsContext* toUyvy = sws_getContext(kWidth, kHeight, AV_PIX_FMT_BGRA, kWidth, kHeight,
                                             AV_PIX_FMT_UYVY422, SWS_POINT, nullptr, nullptr, nullptr);
  all.push_back({"swscale/whole", Direction::Decode, {}, [](std::uint8_t* o, const std::uint8_t* i) {
                   const std::uint8_t* src[4] = {i, nullptr, nullptr, nullptr};
                   const int srcStride[4] = {static_cast<int>(kYuvRow), 0, 0, 0};
                   std::uint8_t* dst[4] = {o + kBgraRow * (kHeight - 1), nullptr, nullptr, nullptr};
                   const int dstStride[4] = {-static_cast<int>(kBgraRow), 0, 0, 0};
                   sws_scale(toBgra, src, srcStride, 0, kHeight, dst, dstStride);
                 }});
  all.push_back({"swscale/whole", Direction::Encode, {}, [](std::uint8_t* o, const std::uint8_t* i) {
                   const std::uint8_t* src[4] = {i + kBgraRow * (kHeight - 1), nullptr, nullptr, nullptr};
                   const int srcStride[4] = {-static_cast<int>(kBgraRow), 0, 0, 0};
                   std::uint8_t* dst[4] = {o, nullptr, nullptr, nullptr};
                   const int dstStride[4] = {static_cast<int>(kYuvRow), 0, 0, 0};
                   sws_scale(toUyvy, src, srcStride, 0, kHeight, dst, dstStride);
                 }});
  return all;
}

// The bandwidth ceiling: memcpy of the larger side of the conversion (the
// B G R A bytes), per row and per frame, in the same hot/cold pattern.
void runCopy(benchmark::State& state, bool perFrame, bool cold) {
  Pool& p = pool();
  int frame = 0, row = 0;
  const std::size_t bytes = perFrame ? kBgraFrame : kBgraRow;
  for (auto _ : state) {
    std::uint8_t* dst = p.dstBgra.data() + kBgraFrame * frame + (perFrame ? 0 : kBgraRow * row);
    const std::uint8_t* src = p.bgra.data() + kBgraFrame * frame + (perFrame ? 0 : kBgraRow * row);
    std::memcpy(dst, src, bytes);
    benchmark::ClobberMemory();
    if (!cold) continue;
    if (perFrame || ++row == kHeight) {
      row = 0;
      frame = (frame + 1) % kColdFrames;
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(2 * bytes));
}

const bool registered = [] {
  static const std::vector<Candidate> all = candidates();
  for (const Candidate& c : all) {
    const std::string dir = c.direction == Direction::Decode ? "decode" : "encode";
    const int maxErr = maxErrorVsModel(c);
    for (bool cold : {false, true}) {
      const std::string temp = cold ? "cold" : "hot";
      if (c.row) {
        benchmark::RegisterBenchmark(("pixel/" + dir + "/row/" + temp + "/" + c.name).c_str(),
                                     [&c, cold](benchmark::State& s) { runRow(s, c, cold); });
      }
      benchmark::RegisterBenchmark(("pixel/" + dir + "/frame/" + temp + "/" + c.name).c_str(),
                                   [&c, cold, maxErr](benchmark::State& s) { runFrame(s, c, cold, maxErr); })
          ->Unit(benchmark::kMicrosecond);
    }
  }
  for (bool cold : {false, true}) {
    const std::string temp = cold ? "cold" : "hot";
    benchmark::RegisterBenchmark(("pixel/copy/row/" + temp + "/memcpy").c_str(),
                                 [cold](benchmark::State& s) { runCopy(s, false, cold); });
    benchmark::RegisterBenchmark(("pixel/copy/frame/" + temp + "/memcpy").c_str(), [cold](
                                                                                       benchmark::State& s) {
      runCopy(s, true, cold);
    })->Unit(benchmark::kMicrosecond);
  }
  return true;
}();

}  // namespace
