#include "app/gui_renderer.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

constexpr GLsizeiptr vertexBufferBytes = 512 * 1024;
constexpr GLsizeiptr elementBufferBytes = 128 * 1024;
constexpr GLsizei vertexBytes = 20;
constexpr unsigned curveSegments = 22;

const char* const vertexShaderSource =
    "#version 300 es\n"
    "uniform mat4 ProjMtx;\n"
    "in vec2 Position;\n"
    "in vec2 TexCoord;\n"
    "in vec4 Color;\n"
    "out vec2 Frag_UV;\n"
    "out vec4 Frag_Color;\n"
    "void main() {\n"
    "   Frag_UV = TexCoord;\n"
    "   Frag_Color = Color;\n"
    "   gl_Position = ProjMtx * vec4(Position.xy, 0, 1);\n"
    "}\n";

const char* const fragmentShaderSource =
    "#version 300 es\n"
    "precision mediump float;\n"
    "uniform sampler2D Texture;\n"
    "in vec2 Frag_UV;\n"
    "in vec4 Frag_Color;\n"
    "out vec4 Out_Color;\n"
    "void main(){\n"
    "   Out_Color = Frag_Color * texture(Texture, Frag_UV.st);\n"
    "}\n";

const char* const es300Line = "#version 300 es\n";
const char* const core330Line = "#version 330 core\n";

// The same source with another version line.
std::string withVersionLine(const char* source, const char* versionLine) {
  std::string text(source);
  return versionLine + text.substr(text.find('\n') + 1);
}

GLuint compileShader(GLenum type, const std::string& source) {
  GLuint shader = glCreateShader(type);
  const char* text = source.c_str();
  glShaderSource(shader, 1, &text, nullptr);
  glCompileShader(shader);
  return shader;
}

bool linkProgram(GuiRenderer& r, const char* versionLine) {
  r.program = glCreateProgram();
  r.vertexShader = compileShader(GL_VERTEX_SHADER, withVersionLine(vertexShaderSource, versionLine));
  r.fragmentShader = compileShader(GL_FRAGMENT_SHADER, withVersionLine(fragmentShaderSource, versionLine));
  glAttachShader(r.program, r.vertexShader);
  glAttachShader(r.program, r.fragmentShader);
  glLinkProgram(r.program);
  GLint linked = GL_FALSE;
  glGetProgramiv(r.program, GL_LINK_STATUS, &linked);
  return linked == GL_TRUE;
}

// Nothing would be drawn without a program: say why on standard error.
void reportLinkFailure(GLuint program) {
  char log[1024] = {};
  glGetProgramInfoLog(program, sizeof log, nullptr, log);
  std::fprintf(stderr, "The GUI's shader program does not link: %s\n", log);
}

void deleteProgram(GuiRenderer& r) {
  glDetachShader(r.program, r.vertexShader);
  glDetachShader(r.program, r.fragmentShader);
  glDeleteShader(r.vertexShader);
  glDeleteShader(r.fragmentShader);
  glDeleteProgram(r.program);
  r.program = r.vertexShader = r.fragmentShader = 0;
}

void describeVertexFormat(const GuiRenderer& r) {
  const auto position = static_cast<GLuint>(r.attributePosition);
  const auto texCoord = static_cast<GLuint>(r.attributeTexCoord);
  const auto color = static_cast<GLuint>(r.attributeColor);
  glEnableVertexAttribArray(position);
  glEnableVertexAttribArray(texCoord);
  glEnableVertexAttribArray(color);
  glVertexAttribPointer(position, 2, GL_FLOAT, GL_FALSE, vertexBytes, reinterpret_cast<const void*>(0));
  glVertexAttribPointer(texCoord, 2, GL_FLOAT, GL_FALSE, vertexBytes, reinterpret_cast<const void*>(8));
  glVertexAttribPointer(color, 4, GL_UNSIGNED_BYTE, GL_TRUE, vertexBytes, reinterpret_cast<const void*>(16));
}

nk_convert_config convertConfig(const GuiRenderer& r, nk_anti_aliasing antiAliasing) {
  static const nk_draw_vertex_layout_element layout[] = {
      {NK_VERTEX_POSITION, NK_FORMAT_FLOAT, 0},
      {NK_VERTEX_TEXCOORD, NK_FORMAT_FLOAT, 8},
      {NK_VERTEX_COLOR, NK_FORMAT_R8G8B8A8, 16},
      {NK_VERTEX_LAYOUT_END}};
  nk_convert_config config{};
  config.vertex_layout = layout;
  config.vertex_size = vertexBytes;
  config.vertex_alignment = 4;
  config.null = r.whitePixel;
  config.circle_segment_count = curveSegments;
  config.curve_segment_count = curveSegments;
  config.arc_segment_count = curveSegments;
  config.global_alpha = 1.0f;
  config.shape_AA = antiAliasing;
  config.line_AA = antiAliasing;
  return config;
}

// Fills the mapped buffers; false when the frame did not fit (or mapping failed), in which
// case nothing of it is drawn rather than indices past the buffers' end.
bool convertCommands(GuiRenderer& r, nk_context* ctx, nk_anti_aliasing antiAliasing) {
  glBufferData(GL_ARRAY_BUFFER, vertexBufferBytes, nullptr, GL_STREAM_DRAW);
  glBufferData(GL_ELEMENT_ARRAY_BUFFER, elementBufferBytes, nullptr, GL_STREAM_DRAW);
  void* vertices = glMapBuffer(GL_ARRAY_BUFFER, GL_WRITE_ONLY);
  void* elements = glMapBuffer(GL_ELEMENT_ARRAY_BUFFER, GL_WRITE_ONLY);
  nk_flags result = NK_CONVERT_INVALID_PARAM;
  if (vertices != nullptr && elements != nullptr) {
    nk_buffer vertexOut, elementOut;
    nk_buffer_init_fixed(&vertexOut, vertices, static_cast<nk_size>(vertexBufferBytes));
    nk_buffer_init_fixed(&elementOut, elements, static_cast<nk_size>(elementBufferBytes));
    const nk_convert_config config = convertConfig(r, antiAliasing);
    result = nk_convert(ctx, &r.commands, &vertexOut, &elementOut, &config);
  }
  glUnmapBuffer(GL_ARRAY_BUFFER);
  glUnmapBuffer(GL_ELEMENT_ARRAY_BUFFER);
  return result == NK_CONVERT_SUCCESS;
}

void drawCommands(GuiRenderer& r, nk_context* ctx, int height, FramebufferScale scale) {
  std::uintptr_t offset = 0;  // bytes into the element buffer
  const nk_draw_command* command;
  nk_draw_foreach(command, ctx, &r.commands) {
    if (command->elem_count == 0) continue;
    const struct nk_rect clip = command->clip_rect;
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(command->texture.id));
    glScissor(static_cast<GLint>(clip.x * scale.x),
              static_cast<GLint>(static_cast<float>(height - static_cast<GLint>(clip.y + clip.h)) * scale.y),
              static_cast<GLint>(clip.w * scale.x), static_cast<GLint>(clip.h * scale.y));
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(command->elem_count), GL_UNSIGNED_SHORT,
                   reinterpret_cast<const void*>(offset));
    offset += command->elem_count * sizeof(nk_draw_index);
  }
}

}  // namespace

void setUpGuiRenderer(GuiRenderer& r) {
  nk_buffer_init_default(&r.commands);
  if (!linkProgram(r, es300Line)) {
    deleteProgram(r);
    if (!linkProgram(r, core330Line)) reportLinkFailure(r.program);
    r.shaderDialect = ShaderDialect::Core330;
  }
  r.uniformTexture = glGetUniformLocation(r.program, "Texture");
  r.uniformProjection = glGetUniformLocation(r.program, "ProjMtx");
  r.attributePosition = glGetAttribLocation(r.program, "Position");
  r.attributeTexCoord = glGetAttribLocation(r.program, "TexCoord");
  r.attributeColor = glGetAttribLocation(r.program, "Color");

  glGenBuffers(1, &r.vertexBuffer);
  glGenBuffers(1, &r.elementBuffer);
  glGenVertexArrays(1, &r.vertexArray);
  glBindVertexArray(r.vertexArray);
  glBindBuffer(GL_ARRAY_BUFFER, r.vertexBuffer);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, r.elementBuffer);
  describeVertexFormat(r);

  glBindTexture(GL_TEXTURE_2D, 0);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  glBindVertexArray(0);
}

void uploadFontTexture(GuiRenderer& r, const void* pixels, int width, int height) {
  glGenTextures(1, &r.fontTexture);
  glBindTexture(GL_TEXTURE_2D, r.fontTexture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
}

void renderGui(GuiRenderer& r, nk_context* ctx, int width, int height, FramebufferScale scale,
               nk_anti_aliasing antiAliasing) {
  // Column-major: GUI units, origin top left, y downwards, onto the viewport.
  GLfloat projection[16] = {2.0f / static_cast<GLfloat>(width), 0, 0, 0,
                            0, -2.0f / static_cast<GLfloat>(height), 0, 0,
                            0, 0, -1.0f, 0,
                            -1.0f, 1.0f, 0, 1.0f};
  glEnable(GL_BLEND);
  glBlendEquation(GL_FUNC_ADD);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_CULL_FACE);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_SCISSOR_TEST);
  glActiveTexture(GL_TEXTURE0);
  glUseProgram(r.program);
  glUniform1i(r.uniformTexture, 0);
  glUniformMatrix4fv(r.uniformProjection, 1, GL_FALSE, projection);

  glBindVertexArray(r.vertexArray);
  glBindBuffer(GL_ARRAY_BUFFER, r.vertexBuffer);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, r.elementBuffer);
  if (convertCommands(r, ctx, antiAliasing)) drawCommands(r, ctx, height, scale);
  nk_clear(ctx);
  nk_buffer_clear(&r.commands);

  glUseProgram(0);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  glBindVertexArray(0);
  glDisable(GL_BLEND);
  glDisable(GL_SCISSOR_TEST);
}

void shutDownGuiRenderer(GuiRenderer& r) {
  deleteProgram(r);
  glDeleteTextures(1, &r.fontTexture);
  glDeleteBuffers(1, &r.vertexBuffer);
  glDeleteBuffers(1, &r.elementBuffer);
  glDeleteVertexArrays(1, &r.vertexArray);
  nk_buffer_free(&r.commands);
  r.fontTexture = r.vertexBuffer = r.elementBuffer = r.vertexArray = 0;
}
