// The built loader library read as the Windows loader reads it: its export table, and where
// each export's code jumps.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <cstdint>
#include <set>
#include <sstream>
#include <stdexcept>

#include "tests/support/temp_folder.h"

namespace {

// The game's video library's exports, in ordinal order from 1.
const char* const gameExports =
    "_BinkBufferBlit@12 _BinkBufferCheckWinPos@12 _BinkBufferClear@8 _BinkBufferClose@4 "
    "_BinkBufferGetDescription@4 _BinkBufferGetError@0 _BinkBufferLock@4 _BinkBufferOpen@16 "
    "_BinkBufferSetDirectDraw@8 _BinkBufferSetHWND@8 _BinkBufferSetOffset@12 _BinkBufferSetResolution@12 "
    "_BinkBufferSetScale@12 _BinkBufferUnlock@4 _BinkCheckCursor@20 _BinkClose@4 _BinkCloseTrack@4 "
    "_BinkControlBackgroundIO@8 _BinkControlPlatformFeatures@8 _BinkCopyToBuffer@28 _BinkCopyToBufferRect@44 "
    "_BinkDDSurfaceType@4 _BinkDX8SurfaceType@4 _BinkDX9SurfaceType@4 _BinkDoFrame@4 _BinkGetError@0 "
    "_BinkGetFrameBuffersInfo@8 _BinkGetKeyFrame@12 _BinkGetPalette@4 _BinkGetRealtime@12 _BinkGetRects@8 "
    "_BinkGetSummary@8 _BinkGetTrackData@8 _BinkGetTrackID@8 _BinkGetTrackMaxSize@8 _BinkGetTrackType@8 "
    "_BinkGoto@12 _BinkIsSoftwareCursor@8 _BinkLogoAddress@0 _BinkNextFrame@4 _BinkOpen@8 "
    "_BinkOpenDirectSound@4 _BinkOpenMiles@4 _BinkOpenTrack@8 _BinkOpenWaveOut@4 _BinkPause@8 "
    "_BinkRegisterFrameBuffers@8 _BinkRestoreCursor@4 _BinkService@4 _BinkSetError@4 _BinkSetFrameRate@8 "
    "_BinkSetIO@4 _BinkSetIOSize@4 _BinkSetMemory@8 _BinkSetMixBinVolumes@20 _BinkSetMixBins@16 "
    "_BinkSetPan@12 _BinkSetSimulate@4 _BinkSetSoundOnOff@8 _BinkSetSoundSystem@8 _BinkSetSoundTrack@8 "
    "_BinkSetVideoOnOff@8 _BinkSetVolume@12 _BinkShouldSkip@4 _BinkWait@4 _RADTimerRead@0";

struct PeImage {
  std::string bytes;
  std::uint32_t imageBase = 0;
  std::uint32_t directories = 0, sections = 0, sectionCount = 0;

  std::uint32_t u32(std::uint32_t offset) const { return u16(offset) | std::uint32_t{u16(offset + 2)} << 16; }
  std::uint16_t u16(std::uint32_t offset) const {
    if (offset + 2 > bytes.size()) throw std::out_of_range("beyond the file");
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[offset]) |
                                      static_cast<unsigned char>(bytes[offset + 1]) << 8);
  }
  std::uint32_t offsetOf(std::uint32_t rva) const {
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
      std::uint32_t s = sections + 40 * i, start = u32(s + 12);
      if (rva >= start && rva < start + u32(s + 8)) return rva - start + u32(s + 20);
    }
    throw std::out_of_range("address outside every section");
  }
  std::uint32_t at(std::uint32_t rva) const { return u32(offsetOf(rva)); }
  std::string text(std::uint32_t rva) const { return bytes.c_str() + offsetOf(rva); }
};

PeImage readPe(const std::string& path) {
  PeImage image{testing_support::readFile(path)};
  std::uint32_t pe = image.u32(0x3c), optional = pe + 24;
  if (image.u32(pe) != 0x4550 || image.u16(optional) != 0x10b) throw std::runtime_error("not a 32-bit PE file");
  image.imageBase = image.u32(optional + 28);
  image.directories = optional + 96;
  image.sectionCount = image.u16(pe + 6);
  image.sections = optional + image.u16(pe + 20);
  return image;
}

struct Import {
  std::string library;
  std::uint32_t ordinal;  // 0 for an import by name
};

// Import address table slot (its address) -> what the loader puts there.
std::map<std::uint32_t, Import> importSlots(const PeImage& image) {
  std::map<std::uint32_t, Import> slots;
  std::uint32_t directory = image.u32(image.directories + 8);
  for (std::uint32_t d = directory; image.at(d + 12) != 0; d += 20) {
    std::string library = image.text(image.at(d + 12));
    for (std::uint32_t k = 0;; k += 4) {
      std::uint32_t entry = image.at(image.at(d) + k);
      if (entry == 0) break;
      slots[image.imageBase + image.at(d + 16) + k] = {library, (entry & 0x80000000u) ? (entry & 0xffffu) : 0};
    }
  }
  return slots;
}

TEST(LoaderTables, EachExportJumpsThroughTheImportOfItsOrdinal) {
  const PeImage image = readPe(QUARNMP_LOADER_DLL);
  const std::uint32_t exports = image.u32(image.directories);
  const std::uint32_t base = image.at(exports + 16), count = image.at(exports + 20);
  ASSERT_EQ(base, 1u);
  ASSERT_EQ(count, 66u);
  ASSERT_EQ(image.at(exports + 24), 66u) << "every export has a name";
  const auto slots = importSlots(image);

  std::istringstream expected(gameExports);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::string name;
    expected >> name;
    std::uint32_t ordinal = base + image.u16(image.offsetOf(image.at(exports + 36)) + 2 * i);
    SCOPED_TRACE(name);
    EXPECT_EQ(image.text(image.at(image.at(exports + 32) + 4 * i)), name);
    EXPECT_EQ(ordinal, i + 1);
    std::uint32_t code = image.offsetOf(image.at(image.at(exports + 28) + 4 * (ordinal - base)));
    ASSERT_EQ(image.u16(code), 0x25ff) << "jmp dword ptr [slot]";
    auto slot = slots.find(image.u32(code + 2));
    ASSERT_NE(slot, slots.end());
    EXPECT_EQ(slot->second.library, "binkw32_orig.dll");
    EXPECT_EQ(slot->second.ordinal, ordinal);
  }

  std::set<std::string> libraries;
  for (const auto& [address, import] : slots) {
    std::string lower = import.library;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    libraries.insert(lower);
  }
  EXPECT_EQ(libraries, (std::set<std::string>{"binkw32_orig.dll", "kernel32.dll"})) << "only system libraries besides";
}

}  // namespace
