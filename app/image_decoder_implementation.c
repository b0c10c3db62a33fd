/* Compiles the image decoder once: PNG only, which is all the program embeds. */
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>
