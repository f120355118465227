#include "render/PictureSave.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <opencv2/imgcodecs.hpp>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace glyphora {

int savedPictureWidth(double viewWidth)
{
    if (!(viewWidth > 0))
        return 0;
    return 4 * static_cast<int>(std::trunc(0.25 * viewWidth));
}

cv::Mat readBackPicture(double viewWidth, double viewHeight)
{
    const int w = savedPictureWidth(viewWidth);
    const int h = viewHeight > 0 ? static_cast<int>(std::trunc(viewHeight)) : 0;
    if (w <= 0 || h <= 0)
        return cv::Mat();
    cv::Mat picture(h, w, CV_8UC3);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    // Rows of 3 * w bytes with w a multiple of 4 need no padding; the packing
    // state is pinned anyway so a caller's settings cannot skew the rows.
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glReadPixels(0, 0, w, h, GL_BGR, GL_UNSIGNED_BYTE, picture.data);
    glPopClientAttrib();
    // GL's first row is the bottom one: flip so the file starts at the top.
    cv::flip(picture, picture, 0);
    return picture;
}

namespace {

std::string folderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

bool isFolder(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

bool savePicture(const cv::Mat& picture, const std::string& name, std::string* error)
{
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    if (name.empty())
        return fail("no file name given for the picture");
    const std::string file = name + ".jpg";
    if (picture.empty() || picture.type() != CV_8UC3)
        return fail(file + ": there is no picture to save");
    const std::string folder = folderOf(file);
    if (!isFolder(folder))
        return fail(file + ": the folder " + folder + " does not exist");
    if (isFolder(file))
        return fail(file + ": is a folder");

    std::vector<uchar> bytes;
    try {
        if (!cv::imencode(".jpg", picture, bytes))
            return fail(file + ": the picture could not be encoded as JPEG");
    } catch (const cv::Exception& e) {
        return fail(file + ": the picture could not be encoded as JPEG (" + e.what() + ")");
    }

    // Written beside the target and renamed over it: an interrupted or
    // failed write never truncates an existing picture.
    const std::string tmp = file + ".tmp-" + std::to_string(::getpid());
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out)
            return fail(file + ": cannot be written (" + std::strerror(errno) + ")");
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::remove(tmp.c_str());
            return fail(file + ": writing failed (disk full?)");
        }
    }
    if (std::rename(tmp.c_str(), file.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        std::remove(tmp.c_str());
        return fail(file + ": cannot be written (" + why + ")");
    }
    return true;
}

bool saveGL(double viewWidth, double viewHeight, const std::string& name, std::string* error)
{
    const cv::Mat picture = readBackPicture(viewWidth, viewHeight);
    if (picture.empty()) {
        if (error)
            *error = "the picture view is too small to be saved (" + std::to_string(int(viewWidth)) + "x" +
                     std::to_string(int(viewHeight)) + " pixels)";
        return false;
    }
    return savePicture(picture, name, error);
}

} // namespace glyphora
