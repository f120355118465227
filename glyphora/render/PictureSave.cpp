#include "render/PictureSave.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <opencv2/imgcodecs.hpp>

#include "base/Path.h"
#include "base/ReplaceFile.h"

#include <cmath>
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
    const std::string folder = base::folderOf(file);
    if (!base::isFolder(folder))
        return fail(file + ": the folder " + folder + " does not exist");
    if (base::isFolder(file))
        return fail(file + ": is a folder");

    std::vector<uchar> bytes;
    try {
        if (!cv::imencode(".jpg", picture, bytes))
            return fail(file + ": the picture could not be encoded as JPEG");
    } catch (const cv::Exception& e) {
        return fail(file + ": the picture could not be encoded as JPEG (" + e.what() + ")");
    }

    // Replaced whole or not at all: an interrupted or failed write never
    // truncates an existing picture.
    std::string why;
    if (!base::replaceFile(file, bytes.data(), bytes.size(), &why))
        return fail(file + ": " + why);
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
