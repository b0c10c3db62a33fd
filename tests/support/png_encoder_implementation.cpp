// Compiles the PNG writer for screenshots once.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
