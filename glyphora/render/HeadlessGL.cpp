#include "render/HeadlessGL.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include "render/PictureView.h"

#include <cstdio>
#include <cstring>
#include <system_error>

namespace glyphora {

namespace {

// Framebuffer-object entry points (OpenGL 3.0), fetched from EGL so the
// library does not depend on what the GL link library exports beyond 1.x.
struct FboApi {
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
    PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;

    bool load()
    {
        genFramebuffers = reinterpret_cast<PFNGLGENFRAMEBUFFERSPROC>(eglGetProcAddress("glGenFramebuffers"));
        deleteFramebuffers = reinterpret_cast<PFNGLDELETEFRAMEBUFFERSPROC>(eglGetProcAddress("glDeleteFramebuffers"));
        bindFramebuffer = reinterpret_cast<PFNGLBINDFRAMEBUFFERPROC>(eglGetProcAddress("glBindFramebuffer"));
        genRenderbuffers = reinterpret_cast<PFNGLGENRENDERBUFFERSPROC>(eglGetProcAddress("glGenRenderbuffers"));
        deleteRenderbuffers = reinterpret_cast<PFNGLDELETERENDERBUFFERSPROC>(eglGetProcAddress("glDeleteRenderbuffers"));
        bindRenderbuffer = reinterpret_cast<PFNGLBINDRENDERBUFFERPROC>(eglGetProcAddress("glBindRenderbuffer"));
        renderbufferStorage = reinterpret_cast<PFNGLRENDERBUFFERSTORAGEPROC>(eglGetProcAddress("glRenderbufferStorage"));
        framebufferRenderbuffer =
            reinterpret_cast<PFNGLFRAMEBUFFERRENDERBUFFERPROC>(eglGetProcAddress("glFramebufferRenderbuffer"));
        checkFramebufferStatus =
            reinterpret_cast<PFNGLCHECKFRAMEBUFFERSTATUSPROC>(eglGetProcAddress("glCheckFramebufferStatus"));
        return genFramebuffers && deleteFramebuffers && bindFramebuffer && genRenderbuffers &&
               deleteRenderbuffers && bindRenderbuffer && renderbufferStorage && framebufferRenderbuffer &&
               checkFramebufferStatus;
    }
};

FboApi& fboApi()
{
    static FboApi api;
    return api;
}

bool hasExtension(const char* list, const char* name)
{
    if (!list)
        return false;
    const size_t n = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n)
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0'))
            return true;
    return false;
}

std::string eglErrorText(const char* what)
{
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s failed (EGL error 0x%04X)", what, unsigned(eglGetError()));
    return buf;
}

} // namespace

HeadlessGL::~HeadlessGL()
{
    if (worker_.joinable())
        worker_.join();
    release();
}

void HeadlessGL::release()
{
    if (context_) {
        auto dpy = static_cast<EGLDisplay>(display_);
        auto ctx = static_cast<EGLContext>(context_);
        if (eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, ctx)) {
            FboApi& gl = fboApi();
            gl.bindFramebuffer(GL_FRAMEBUFFER, 0);
            if (fbo_)
                gl.deleteFramebuffers(1, &fbo_);
            if (colour_)
                gl.deleteRenderbuffers(1, &colour_);
            if (depth_)
                gl.deleteRenderbuffers(1, &depth_);
        }
        eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(dpy, ctx);
        // The display is shared by every context of the process and stays
        // initialised: terminating it would invalidate other live contexts.
    }
    context_ = nullptr;
    display_ = nullptr;
    fbo_ = colour_ = depth_ = 0;
    width_ = height_ = 0;
}

bool HeadlessGL::create(int width, int height, std::string* error)
{
    if (worker_.joinable())
        worker_.join();
    return createHere(width, height, error);
}

bool HeadlessGL::createHere(int width, int height, std::string* error)
{
    release();
    auto fail = [&](const std::string& why) {
        if (error)
            *error = "headless OpenGL: " + why;
        release();
        return false;
    };
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384)
        return fail("invalid picture size " + std::to_string(width) + "x" + std::to_string(height));

    const char* clientExt = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!hasExtension(clientExt, "EGL_MESA_platform_surfaceless"))
        return fail("the EGL library offers no surfaceless platform (EGL_MESA_platform_surfaceless)");
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay)
        return fail("eglGetPlatformDisplayEXT is not available");
    EGLDisplay dpy = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (dpy == EGL_NO_DISPLAY)
        return fail(eglErrorText("eglGetPlatformDisplayEXT"));
    EGLint major = 0, minor = 0;
    if (!eglInitialize(dpy, &major, &minor))
        return fail(eglErrorText("eglInitialize"));
    display_ = dpy;
    if (!eglBindAPI(EGL_OPENGL_API))
        return fail(eglErrorText("eglBindAPI(EGL_OPENGL_API)"));

    const EGLint configAttribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                    EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configCount = 0;
    const bool haveConfig = eglChooseConfig(dpy, configAttribs, &config, 1, &configCount) && configCount > 0;
    const bool noConfigOk = hasExtension(eglQueryString(dpy, EGL_EXTENSIONS), "EGL_KHR_no_config_context");
    if (!haveConfig && !noConfigOk)
        return fail("no EGL configuration for desktop OpenGL");

    const EGLint contextAttribs[] = {EGL_CONTEXT_MAJOR_VERSION, 2, EGL_CONTEXT_MINOR_VERSION, 1,
                                     EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                     EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    EGLContext ctx = eglCreateContext(dpy, haveConfig ? config : EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, contextAttribs);
    if (ctx == EGL_NO_CONTEXT)
        return fail(eglErrorText("eglCreateContext (OpenGL compatibility profile)"));
    context_ = ctx;
    if (!eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, ctx))
        return fail(eglErrorText("eglMakeCurrent without surface"));

    FboApi& gl = fboApi();
    if (!gl.load())
        return fail("framebuffer objects are not supported");
    gl.genRenderbuffers(1, &colour_);
    gl.genRenderbuffers(1, &depth_);
    gl.genFramebuffers(1, &fbo_);
    std::string why;
    if (!resize(width, height, &why))
        return fail(why);
    return true;
}

bool HeadlessGL::resize(int width, int height, std::string* error)
{
    if (!context_ || !fbo_) {
        if (error)
            *error = "no context";
        return false;
    }
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
        if (error)
            *error = "invalid picture size " + std::to_string(width) + "x" + std::to_string(height);
        return false;
    }
    FboApi& gl = fboApi();
    gl.bindRenderbuffer(GL_RENDERBUFFER, colour_);
    gl.renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    gl.bindRenderbuffer(GL_RENDERBUFFER, depth_);
    gl.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    gl.bindFramebuffer(GL_FRAMEBUFFER, fbo_);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth_);
    if (gl.checkFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        if (error)
            *error = "the framebuffer object is incomplete";
        return false;
    }
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glViewport(0, 0, width, height);
    width_ = width;
    height_ = height;
    return true;
}

bool HeadlessGL::makeCurrent()
{
    if (!context_)
        return false;
    auto dpy = static_cast<EGLDisplay>(display_);
    // The client API is chosen per thread: this one may not have chosen yet.
    eglBindAPI(EGL_OPENGL_API);
    if (!eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, static_cast<EGLContext>(context_)))
        return false;
    fboApi().bindFramebuffer(GL_FRAMEBUFFER, fbo_);
    return true;
}

namespace {

// Draws what the picture and arrow views draw, in their order and states: a
// picture through glDrawPixels, then flat polygons blended with and without
// the depth test. llvmpipe compiles a program for each such state the first
// time it is drawn; doing it here takes that work off the final drawing.
// Every attribute, matrix and client setting is restored, and the colour and
// depth buffers are cleared as a new framebuffer is.
void warmUp(int width, int height)
{
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();

    const cv::Mat picture(height, width, CV_8UC3, cv::Scalar::all(0));
    cv::Mat buffer;
    transferPicture(picture, buffer, width, height);
    glClear(GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1.0, 1.0, -1.0, 1.0, -3.0, 3.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glShadeModel(GL_SMOOTH);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    for (int depth = 1; depth >= 0; --depth) {
        if (depth)
            glEnable(GL_DEPTH_TEST);
        else
            glDisable(GL_DEPTH_TEST);
        glColor4f(0.5f, 0.25f, 1.0f, 0.5f);
        glBegin(GL_POLYGON);
        glVertex2f(-0.5f, -0.5f);
        glVertex2f(0.5f, -0.5f);
        glVertex2f(0.0f, 0.5f);
        glEnd();
    }
    glFinish();

    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glPopClientAttrib();
    glPopAttrib();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glFinish();
}

} // namespace

void HeadlessGL::createInBackground()
{
    if (worker_.joinable())
        worker_.join();
    release();
    workerOk_ = false;
    workerError_.clear();
    auto work = [this] {
        // A small framebuffer: waitCreated gives it the picture's size.
        constexpr int kSide = 16;
        workerOk_ = createHere(kSide, kSide, &workerError_);
        if (!workerOk_)
            return;
        warmUp(kSide, kSide);
        // Handed over to the thread that waits for it.
        eglMakeCurrent(static_cast<EGLDisplay>(display_), EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    };
    try {
        worker_ = std::thread(work);
    } catch (const std::system_error&) {
        work();  // no thread to be had: made here, before the caller goes on
    }
}

bool HeadlessGL::waitCreated(int width, int height, std::string* error)
{
    if (worker_.joinable())
        worker_.join();
    if (!workerOk_) {
        if (error)
            *error = workerError_.empty() ? "headless OpenGL: no context was started" : workerError_;
        return false;
    }
    std::string why;
    if (!makeCurrent())
        why = "the context cannot be made current";
    else if (!resize(width, height, &why))
        release();
    if (why.empty())
        return true;
    if (error)
        *error = "headless OpenGL: " + why;
    return false;
}

} // namespace glyphora
