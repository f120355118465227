#pragma once
// An OpenGL 1.x (compatibility profile) context with no window system: EGL on
// Mesa's surfaceless platform, drawing into a framebuffer object of a fixed
// size with a colour and a depth attachment. While it is current, everything
// the arrow and picture views draw lands in that framebuffer, and
// glReadPixels reads it back, exactly as in a window's surface.
#include <string>

namespace glyphora {

class HeadlessGL {
public:
    HeadlessGL() = default;
    ~HeadlessGL();
    HeadlessGL(const HeadlessGL&) = delete;
    HeadlessGL& operator=(const HeadlessGL&) = delete;

    // Creates the context and a width x height framebuffer and makes them
    // current. On failure returns false with the reason in *error and holds
    // nothing; a second create() replaces the first context.
    bool create(int width, int height, std::string* error = nullptr);
    // Makes the context current again (after another context was used).
    bool makeCurrent();
    void release();

    bool isValid() const { return context_ != nullptr; }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    void* display_ = nullptr; // EGLDisplay
    void* context_ = nullptr; // EGLContext
    unsigned fbo_ = 0, colour_ = 0, depth_ = 0;
    int width_ = 0, height_ = 0;
};

} // namespace glyphora
