#pragma once
// The program's own OpenGL 3 renderer for Nuklear's draw commands.
#include <GL/glew.h>

#include "ui/gui_toolkit.h"

// The shader language the program was finally linked with.
enum class ShaderDialect { Es300, Core330 };

struct GuiRenderer {
  nk_buffer commands{};  // the converted draw commands of one frame
  ShaderDialect shaderDialect = ShaderDialect::Es300;
  GLuint program = 0;
  GLuint vertexShader = 0;
  GLuint fragmentShader = 0;
  GLint uniformTexture = -1;
  GLint uniformProjection = -1;
  GLint attributePosition = -1;
  GLint attributeTexCoord = -1;
  GLint attributeColor = -1;
  GLuint vertexArray = 0;
  GLuint vertexBuffer = 0;
  GLuint elementBuffer = 0;
  GLuint fontTexture = 0;
  nk_draw_null_texture whitePixel{};  // lets untextured shapes use the font texture
};

// Framebuffer pixels per window unit (2 on a display scaled by two).
struct FramebufferScale {
  float x = 1.0f;
  float y = 1.0f;
};

// Needs a current OpenGL 3.3 context. The GLSL ES 3.00 shaders need ES3 compatibility, which
// a plain OpenGL 3.3 driver may lack; when they do not link, the same shaders are built again
// as GLSL 3.30 core.
void setUpGuiRenderer(GuiRenderer& renderer);

// Uploads the baked font atlas (RGBA, 32 bits per pixel) as the renderer's font texture.
void uploadFontTexture(GuiRenderer& renderer, const void* pixels, int width, int height);

// Draws the context's commands for a window of the given size (screen units) and clears the
// context for the next frame. The caller has set the viewport to the framebuffer.
void renderGui(GuiRenderer& renderer, nk_context* ctx, int width, int height, FramebufferScale scale,
               nk_anti_aliasing antiAliasing);

void shutDownGuiRenderer(GuiRenderer& renderer);
