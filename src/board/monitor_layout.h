// The board's monitor: the shared-memory object in which the board keeps the
// latest shown output frame and the latest delivered input frame for the
// preview programs. The board (a 32-bit plug-in) writes it and a preview
// program (often 64-bit) reads it, so the layout is fixed-width words and byte
// arrays only, the same at both widths, and needs nothing else of the board.
//
// Tearing: each channel has two slots. The writer fills the slot that does
// not hold the latest frame, with the slot's sequence odd while it writes,
// and only then counts the frame as published. A reader copies the latest
// slot and keeps the copy only when the sequence was even and unchanged
// across the copy; otherwise it copies again. The writer never waits.
// Frames are whole words (720 x lines x 2 bytes is a multiple of four).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace corvane::board {

enum class MonitorChannel : std::uint8_t { Output, Input };

inline constexpr std::uint32_t kMonitorMagic = 0x4E4F4D43;  // "CMON" in memory
inline constexpr std::uint32_t kMonitorVersion = 3;
inline constexpr std::uint32_t kMonitorWidth = 720;
inline constexpr std::uint32_t kMonitorMaxLines = 576;
// 4:2:2, Cb Y Cr Y: two bytes a pixel.
inline constexpr std::size_t kMonitorMaxFrameBytes = std::size_t{kMonitorWidth} * kMonitorMaxLines * 2;

// The board's own frames are 480 or 576 lines; anything even up to the
// maximum is carried, so a frame of another geometry still shows.
constexpr bool monitorLinesValid(std::uint32_t lines) {
  return lines >= 2 && lines <= kMonitorMaxLines && lines % 2 == 0;
}
constexpr std::size_t monitorFrameBytes(std::uint32_t lines) {
  return std::size_t{kMonitorWidth} * lines * 2;
}

// One frame, field-separated: the first field's rows (the frame's even
// lines), then the second field's rows.
struct MonitorSlot {
  std::uint32_t sequence;     // odd while the writer fills the slot
  std::uint32_t lines;        // of the frame in pixels
  std::uint32_t frameNumber;  // which publication of the channel, from 1
  std::uint32_t reserved[13];
  // The frame's bytes, four to a word in memory order: whole words, so that
  // both sides can reach them atomically.
  std::uint32_t pixels[kMonitorMaxFrameBytes / 4];
};

struct MonitorChannelBlock {
  std::uint32_t published;  // frames published; the latest is in slot (published - 1) % 2
  // Output channel: frames the plug-in's playback dropped because the board
  // had no free output frame, since the monitor opened. Never reset while
  // open, so a reader takes the difference over its own run.
  std::uint32_t dropped;
  std::uint32_t reserved[14];
  MonitorSlot slots[2];
};

// The state word: twice the number of boards that have opened the object,
// plus one while the latest of them writes. An object can outlive its board
// and be opened again by the next one (on Windows a reader's mapping keeps
// it alive under its name), so a reader keeps the word it opened with: any
// change means its board has gone, closed or followed by another.
constexpr bool monitorOpen(std::uint32_t state) { return state % 2 == 1; }
// The state of the next board to open an object of this state, while it
// starts the object afresh.
constexpr std::uint32_t nextMonitorBoard(std::uint32_t state) { return (state + 2) & ~std::uint32_t{1}; }

struct MonitorLayout {
  std::uint32_t magic;
  std::uint32_t version;
  std::uint32_t state;  // see monitorOpen
  std::uint32_t reserved[13];
  MonitorChannelBlock channels[2];  // indexed by MonitorChannel
};

static_assert(offsetof(MonitorSlot, pixels) == 64);
static_assert(sizeof(MonitorSlot) == 64 + kMonitorMaxFrameBytes);
static_assert(offsetof(MonitorChannelBlock, dropped) == 4);
static_assert(offsetof(MonitorChannelBlock, slots) == 64);
static_assert(sizeof(MonitorChannelBlock) == 64 + 2 * sizeof(MonitorSlot));
static_assert(offsetof(MonitorLayout, channels) == 64);
static_assert(sizeof(MonitorLayout) == 64 + 2 * sizeof(MonitorChannelBlock));
static_assert(sizeof(MonitorLayout) == 3'318'208);

// The words shared between processes are reached atomically: lock-free
// 32-bit atomics work across mappings, at either width.
using MonitorWord = std::atomic_ref<std::uint32_t>;
static_assert(MonitorWord::is_always_lock_free);

// The frame's words are release stores and acquire loads: a reader that sees
// any word of a frame being written also sees that slot's odd sequence, so
// its check after the copy cannot miss the overwrite.
inline void storeMonitorPixels(std::uint32_t* words, std::span<const std::uint8_t> bytes) {
  for (std::size_t i = 0; i < bytes.size() / 4; ++i) {
    std::uint32_t word;
    std::memcpy(&word, bytes.data() + i * 4, 4);
    MonitorWord(words[i]).store(word, std::memory_order_release);
  }
}

inline void loadMonitorPixels(std::span<std::uint8_t> bytes, std::uint32_t* words) {
  for (std::size_t i = 0; i < bytes.size() / 4; ++i) {
    const std::uint32_t word = MonitorWord(words[i]).load(std::memory_order_acquire);
    std::memcpy(bytes.data() + i * 4, &word, 4);
  }
}

}  // namespace corvane::board
