#include "app/image_texture.h"

#include <GL/glew.h>
#include <stb_image.h>

#include <climits>

#include "platform/resources.h"

bool decodeImage(const std::vector<unsigned char>& bytes, DecodedImage& image) {
  if (bytes.empty() || bytes.size() > static_cast<size_t>(INT_MAX)) return false;
  int width = 0, height = 0, channels = 0;
  unsigned char* pixels =
      stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height, &channels, 0);
  if (pixels == nullptr) return false;
  image.width = width;
  image.height = height;
  image.channels = channels;
  image.pixels.assign(pixels, pixels + static_cast<size_t>(width) * height * channels);
  stbi_image_free(pixels);
  return true;
}

GuiImage loadImageTexture(const std::vector<unsigned char>& bytes) {
  DecodedImage image;
  const bool usable = decodeImage(bytes, image) && (image.channels == 3 || image.channels == 4);
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  // Rows of 3-byte pixels need not be 4-byte aligned.
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  if (usable) {
    const GLenum format = image.channels == 4 ? GL_RGBA : GL_RGB;
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, image.width, image.height, 0, format, GL_UNSIGNED_BYTE,
                 image.pixels.data());
  } else {
    // An incomplete texture would sample as opaque black; one clear pixel draws nothing.
    const unsigned char clear[4] = {0, 0, 0, 0};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, clear);
  }
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glGenerateMipmap(GL_TEXTURE_2D);
  return nk_image_id(static_cast<int>(texture));
}

AppMedia loadAppMedia() {
  AppMedia media{};
  media.background1 = loadImageTexture(platform::loadRcdataResource("NA3E_RSC"));
  media.background2 = loadImageTexture(platform::loadRcdataResource("SE2E_RSC"));
  return media;
}

void deleteAppMedia(AppMedia& media) {
  for (GuiImage* image : {&media.background1, &media.background2}) {
    GLuint texture = static_cast<GLuint>(image->handle.id);
    glDeleteTextures(1, &texture);
    *image = nk_image_id(0);
  }
}
