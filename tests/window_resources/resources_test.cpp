// The pictures compiled into the executable, read back the way the window reads them. (That
// they differ visibly shows in the program's window test: the front one covers the back one.)
#include <gtest/gtest.h>

#include "app/image_texture.h"
#include "platform/resources.h"

namespace {

TEST(EmbeddedPictures, DecodeWithTheirSizesAndAlpha) {
  for (auto [name, height] : {std::pair{"NA3E_RSC", 428}, std::pair{"SE2E_RSC", 452}}) {
    DecodedImage image;
    ASSERT_TRUE(decodeImage(platform::loadRcdataResource(name), image)) << name;
    EXPECT_EQ(image.width, 640);
    EXPECT_EQ(image.height, height);
    EXPECT_EQ(image.channels, 4);
  }
}

TEST(EmbeddedResources, UnknownOnesAreEmpty) {
  EXPECT_TRUE(platform::loadRcdataResource("NO_SUCH_RSC").empty());
  EXPECT_TRUE(platform::loadRcdataResource(101).empty());
}

TEST(DecodeImage, RefusesWhatIsNoPictureOrACutOne) {
  auto truncated = platform::loadRcdataResource("SE2E_RSC");
  truncated.resize(truncated.size() / 2);
  DecodedImage image;
  for (const auto& bytes : {std::vector<unsigned char>{}, std::vector<unsigned char>{'n', 'o', 'p', 'e'}, truncated}) {
    EXPECT_FALSE(decodeImage(bytes, image));
  }
}

}  // namespace
