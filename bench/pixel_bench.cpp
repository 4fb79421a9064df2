// Colour conversion speed, side by side in one run: each of our kernel
// variants and the dispatched entry points against libyuv, libswscale and a
// plain memcpy of the same bytes. The engine's pattern is one call per
// 720-pixel row, bottom-up into B G R A, so that is what "frame" measures.
// "hot" reuses one frame (in cache); "cold" cycles through 64 frames.
// Each frame benchmark also reports max_err, the largest difference from the
// exact matrix (tests/pixeltools/color_model.h) on a random frame.
// The byte-moving kernels run side by side too: 4:4:4 rows (expand444: two
// fields to a top-down Y Cb Cr A frame; pack444: back), and the value limits
// of a frame the host writes (limit422 over W x H x 2 + 4 bytes, limit444
// over W x H x 4), against the byte loop the file output runs today.
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
#include "pixeltools/field_rows.h"
#include "pixeltools/kernel_table.h"
#include "pixeltools/value_limits.h"

namespace {

using corvane::pixeltools::KernelSet;
using corvane::pixeltools::kernelSets;
using corvane::pixeltools::LayoutKernelSet;
using corvane::pixeltools::layoutKernelSets;

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

// The byte-moving kernels. A row is one 720-pixel call; a frame is what the
// engine does per frame: both fields of 240 rows to or from 480 frame rows,
// or one limiting pass over the host's frame.
constexpr std::size_t kField = kYuvRow * (kHeight / 2);
constexpr std::size_t kLimit422Bytes = kYuvFrame + 4;  // with the trailer
const corvane::pixeltools::FieldGeometry kGeometry{kWidth, kHeight / 2};

struct LayoutCandidate {
  std::string name;
  std::string kind;                                               // expand444, pack444, limit422, limit444
  std::function<void(std::uint8_t*, const std::uint8_t*)> row;    // empty for limits
  std::function<void(std::uint8_t*, const std::uint8_t*)> frame;  // limits: in place on the first
};

// Frames of random bytes that the limits may change, kBgraFrame apart.
std::vector<std::uint8_t>& limitPool() {
  static std::vector<std::uint8_t> frames = [] {
    std::vector<std::uint8_t> bytes(kBgraFrame * kColdFrames);
    std::mt19937 rng(7);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
    return bytes;
  }();
  return frames;
}

// The byte loop the file output runs today, kept out of line as it is there.
[[gnu::noinline]] void limitLoop(std::span<std::uint8_t> frame, std::size_t limitedPerStep) {
  for (std::size_t i = 0; i + 4 <= frame.size(); i += 4)
    for (std::size_t b = 0; b < limitedPerStep; ++b) frame[i + b] = std::min(frame[i + b], std::uint8_t{254});
}

std::vector<LayoutCandidate> layoutCandidates() {
  namespace px = corvane::pixeltools;
  std::vector<LayoutCandidate> all;
  for (const LayoutKernelSet& set : layoutKernelSets()) {
    if (!set.available) continue;
    const LayoutKernelSet* s = &set;
    const std::string who = std::string("ours/") + set.name;
    all.push_back({who, "expand444",
                   [s](std::uint8_t* o, const std::uint8_t* i) { px::expand444With(*s, o, i, kWidth); },
                   [s](std::uint8_t* o, const std::uint8_t* i) {
                     for (int r = 0; r < kHeight; ++r)
                       px::expand444With(*s, o + kBgraRow * r, i + kField * (r % 2) + kYuvRow * (r / 2),
                                         kWidth);
                   }});
    all.push_back(
        {who, "pack444", [s](std::uint8_t* o, const std::uint8_t* i) { px::pack444With(*s, o, i, kWidth); },
         [s](std::uint8_t* o, const std::uint8_t* i) {
           for (int r = 0; r < kHeight; ++r)
             px::pack444With(*s, o + kField * (r % 2) + kYuvRow * (r / 2), i + kBgraRow * r, kWidth);
         }});
    all.push_back({who, "limit422", {}, [s](std::uint8_t* f, const std::uint8_t*) {
                     s->limit422({f, kLimit422Bytes});
                   }});
    all.push_back({who, "limit444", {}, [s](std::uint8_t* f, const std::uint8_t*) {
                     s->limit444({f, kBgraFrame});
                   }});
  }
  all.push_back({"ours/dispatched", "expand444", {}, [](std::uint8_t* o, const std::uint8_t* i) {
                   px::fieldsTo444(i, i + kField, o, kGeometry);
                 }});
  all.push_back({"ours/dispatched", "pack444", {}, [](std::uint8_t* o, const std::uint8_t* i) {
                   px::fieldsFrom444(i, o, o + kField, kGeometry);
                 }});
  all.push_back({"ours/dispatched", "limit422", {}, [](std::uint8_t* f, const std::uint8_t*) {
                   px::limitYcbcr422InPlace({f, kLimit422Bytes});
                 }});
  all.push_back({"ours/dispatched", "limit444", {}, [](std::uint8_t* f, const std::uint8_t*) {
                   px::limitYcbcr444InPlace({f, kBgraFrame});
                 }});
  all.push_back({"before/loop", "limit422", {}, [](std::uint8_t* f, const std::uint8_t*) {
                   limitLoop({f, kLimit422Bytes}, 4);
                 }});
  all.push_back({"before/loop", "limit444", {}, [](std::uint8_t* f, const std::uint8_t*) {
                   limitLoop({f, kBgraFrame}, 3);
                 }});
  return all;
}

void runLayout(benchmark::State& state, const LayoutCandidate& c, bool perFrame, bool cold) {
  Pool& p = pool();
  const bool expand = c.kind == "expand444", limit = c.kind.starts_with("limit");
  const Direction d = expand ? Direction::Decode : Direction::Encode;  // by the sides' byte counts
  if (limit) limitPool();                                              // made before the clock starts
  int frame = 0, row = 0;
  for (auto _ : state) {
    if (limit) {
      c.frame(&limitPool()[kBgraFrame * frame], nullptr);
    } else if (perFrame) {
      c.frame(p.dst(d, frame), p.src(d, frame));
    } else {
      c.row(p.dst(d, frame) + dstRowBytes(d) * row, p.src(d, frame) + srcRowBytes(d) * row);
    }
    benchmark::ClobberMemory();
    if (!cold) continue;
    if (perFrame || ++row == kHeight) {
      row = 0;
      frame = (frame + 1) % kColdFrames;
    }
  }
  const std::size_t bytes =
      limit ? 2 * (c.kind == "limit422" ? kLimit422Bytes : kBgraFrame)
            : (perFrame ? srcFrameBytes(d) + dstFrameBytes(d) : srcRowBytes(d) + dstRowBytes(d));
  state.SetItemsProcessed(state.iterations() * kWidth * (perFrame ? kHeight : 1));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
  if (c.name == "ours/dispatched") state.SetLabel(corvane::pixeltools::selectedLayoutKernelSet().name);
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
  static const std::vector<LayoutCandidate> layouts = layoutCandidates();
  for (const LayoutCandidate& c : layouts) {
    for (bool cold : {false, true}) {
      const std::string temp = cold ? "cold" : "hot";
      if (c.row) {
        benchmark::RegisterBenchmark(("pixel/" + c.kind + "/row/" + temp + "/" + c.name).c_str(),
                                     [&c, cold](benchmark::State& s) { runLayout(s, c, false, cold); });
      }
      benchmark::RegisterBenchmark(("pixel/" + c.kind + "/frame/" + temp + "/" + c.name).c_str(),
                                   [&c, cold](benchmark::State& s) { runLayout(s, c, true, cold); })
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
