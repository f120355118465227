#pragma once
// Reading the finished picture back from the current OpenGL surface and
// saving it as "NAME.jpg".
#include <opencv2/core.hpp>

#include <string>

namespace glyphora {

// Width of the saved picture for a view `viewWidth` pixels wide: cut down to a
// multiple of 4, W' = 4 * trunc(0.25 * w), so that rows of 3-byte pixels need
// no padding.
int savedPictureWidth(double viewWidth);

// Reads the W' x trunc(h) lower-left region of the current read framebuffer
// with glReadPixels(GL_BGR, GL_UNSIGNED_BYTE) and flips it vertically so its
// first row is the picture's top row. Empty when W' or the height is 0.
cv::Mat readBackPicture(double viewWidth, double viewHeight);

// Saves `picture` as `name` + ".jpg" (JPEG chosen by the extension; a name
// already ending in ".jpg" gets a second one). The file is encoded in memory
// and written through a temporary file in the same folder that then replaces
// the target, so a failed save never leaves a truncated file behind. Returns
// false with a message naming the file when the picture is empty, the name is
// empty, the folder does not exist or the file cannot be written.
bool savePicture(const cv::Mat& picture, const std::string& name, std::string* error = nullptr);

// Read-back and save in one step: the picture save of the arrow view.
bool saveGL(double viewWidth, double viewHeight, const std::string& name, std::string* error = nullptr);

} // namespace glyphora
