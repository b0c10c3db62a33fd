// The pictures compiled into the executable, read back the way the window reads them.
#include <gtest/gtest.h>

#include "app/image_texture.h"
#include "platform/resources.h"

namespace {

// Mean red, green and blue of a decoded picture.
std::array<double, 3> meanColour(const DecodedImage& image) {
  std::array<double, 3> sum{};
  for (size_t i = 0; i + 3 < image.pixels.size(); i += static_cast<size_t>(image.channels)) {
    for (int c = 0; c < 3; ++c) sum[static_cast<size_t>(c)] += image.pixels[i + static_cast<size_t>(c)];
  }
  const double count = static_cast<double>(image.width) * image.height;
  return {sum[0] / count, sum[1] / count, sum[2] / count};
}

TEST(EmbeddedPictures, DecodeWithTheirSizesAndAlpha) {
  DecodedImage first, second;
  ASSERT_TRUE(decodeImage(platform::loadRcdataResource("NA3E_RSC"), first));
  ASSERT_TRUE(decodeImage(platform::loadRcdataResource("SE2E_RSC"), second));
  EXPECT_EQ(first.width, 640);
  EXPECT_EQ(first.height, 428);
  EXPECT_EQ(first.channels, 4);
  EXPECT_EQ(second.width, 640);
  EXPECT_EQ(second.height, 452);
  EXPECT_EQ(second.channels, 4);
  // Different enough that the cross-fade between them shows.
  auto a = meanColour(first), b = meanColour(second);
  double distance = std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
  EXPECT_GT(distance, 60.0);
}

TEST(EmbeddedResources, UnknownOrReservedOnesAreEmpty) {
  EXPECT_TRUE(platform::loadRcdataResource("NO_SUCH_RSC").empty());
  EXPECT_TRUE(platform::loadRcdataResource("na3e_rsc").empty());
  EXPECT_TRUE(platform::loadRcdataResource("").empty());
  EXPECT_TRUE(platform::loadRcdataResource(101).empty());
  // Reserved for the loader library, not yet carried.
  EXPECT_TRUE(platform::loadRcdataResource(102).empty());
}

TEST(DecodeImage, RefusesWhatIsNoPicture) {
  DecodedImage image;
  EXPECT_FALSE(decodeImage({}, image));
  EXPECT_FALSE(decodeImage({'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'}, image));
  auto truncated = platform::loadRcdataResource("SE2E_RSC");
  truncated.resize(truncated.size() / 2);
  EXPECT_FALSE(decodeImage(truncated, image));
}

}  // namespace
