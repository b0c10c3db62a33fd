#pragma once
// Pictures from bytes (PNG) to OpenGL textures the GUI can draw.
#include <vector>

#include "ui/app_media.h"

struct DecodedImage {
  int width = 0;
  int height = 0;
  int channels = 0;  // the image's own channel count
  std::vector<unsigned char> pixels;
};

// Nothing when the bytes are not an image the decoder understands.
bool decodeImage(const std::vector<unsigned char>& bytes, DecodedImage& image);

// A texture of the picture (3- or 4-channel images, uploaded as RGBA8 with mipmaps). Bytes
// that cannot be used still give a valid texture: one transparent pixel, which draws nothing.
GuiImage loadImageTexture(const std::vector<unsigned char>& bytes);

// The two background pictures from the executable's resources.
AppMedia loadAppMedia();
void deleteAppMedia(AppMedia& media);
