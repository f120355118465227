#pragma once
// An OpenGL 1.x (compatibility profile) context with no window system: EGL on
// Mesa's surfaceless platform, drawing into a framebuffer object of a fixed
// size with a colour and a depth attachment. While it is current, everything
// the arrow and picture views draw lands in that framebuffer, and
// glReadPixels reads it back, exactly as in a window's surface.
#include <string>
#include <thread>

namespace glyphora {

class HeadlessGL {
public:
    HeadlessGL() = default;
    ~HeadlessGL(); // waits for a creation started in the background
    HeadlessGL(const HeadlessGL&) = delete;
    HeadlessGL& operator=(const HeadlessGL&) = delete;

    // Creates the context and a width x height framebuffer and makes them
    // current. On failure returns false with the reason in *error and holds
    // nothing; a second create() replaces the first context.
    bool create(int width, int height, std::string* error = nullptr);
    // Makes the context current again (after another context was used).
    bool makeCurrent();
    void release();

    // Gives the framebuffer a new size (its contents are lost); the context
    // must be current. False with the reason for an invalid size.
    bool resize(int width, int height, std::string* error = nullptr);

    // Starts the creation on a worker thread, which then draws a throw-away
    // picture and shapes of the kinds the views draw, so that the driver
    // loads and compiles its drawing code there while the caller goes on
    // (decoding, blending). Afterwards the framebuffer is cleared and the
    // context's state is left as create() sets it: later drawings give the
    // same pixels as after create(). The context is current on no thread
    // until waitCreated().
    void createInBackground();
    // Waits for createInBackground, makes the context current on the calling
    // thread and gives the framebuffer the size width x height. False with the
    // reason when the creation failed or the size is invalid (nothing is then
    // held), or when no creation was started.
    bool waitCreated(int width, int height, std::string* error = nullptr);

    bool isValid() const { return context_ != nullptr; }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    bool createHere(int width, int height, std::string* error);

    std::thread worker_;
    bool workerOk_ = false;
    std::string workerError_;
    void* display_ = nullptr; // EGLDisplay
    void* context_ = nullptr; // EGLContext
    unsigned fbo_ = 0, colour_ = 0, depth_ = 0;
    int width_ = 0, height_ = 0;
};

} // namespace glyphora
