#include "RunTestUtil.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vestiga::test {

TempDir::TempDir()
{
    std::string templ = (std::filesystem::temp_directory_path() / "vestiga-run-XXXXXX").string();
    if (!::mkdtemp(&templ[0]))
        throw std::runtime_error("cannot create a temporary directory");
    path_ = templ;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

cv::Mat signerFrame(int k, cv::Size size)
{
    const double sx = size.width / 320.0, sy = size.height / 240.0;
    auto P = [&](double x, double y) { return cv::Point(cvRound(x * sx), cvRound(y * sy)); };
    cv::Mat f(size, CV_8UC3, cv::Scalar(95, 120, 85));
    const cv::Scalar shirt(150, 60, 30), skin(110, 145, 215);
    cv::rectangle(f, P(115, 95), P(205, 240), shirt, cv::FILLED);
    cv::ellipse(f, P(160, 60), cv::Size(cvRound(22 * sx), cvRound(30 * sy)), 0, 0, 360, skin, cv::FILLED);
    const double a = 0.3 * k;
    const cv::Point h1 = P(105 + 25 * std::sin(a), 150 - 30 * std::cos(a));
    const cv::Point h2 = P(215 - 20 * std::sin(0.7 * a), 160 - 25 * std::cos(0.9 * a));
    cv::line(f, P(120, 105), P(95, 175), shirt, cvRound(14 * sx));
    cv::line(f, P(95, 175), h1, shirt, cvRound(12 * sx));
    cv::line(f, P(200, 105), P(225, 175), shirt, cvRound(14 * sx));
    cv::line(f, P(225, 175), h2, shirt, cvRound(12 * sx));
    cv::circle(f, h1, cvRound(9 * sx), skin, cv::FILLED);
    cv::circle(f, h2, cvRound(9 * sx), skin, cv::FILLED);
    return f;
}

void writeSignerVideo(const std::string& path, int frames, cv::Size size)
{
    cv::VideoWriter w(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25.0, size, true);
    if (!w.isOpened())
        throw std::runtime_error("cannot write " + path);
    for (int k = 0; k < frames; ++k)
        w.write(signerFrame(k, size));
}

CalibrationFile signerCalibration(cv::Size size)
{
    const double sx = size.width / 320.0, sy = size.height / 240.0;
    CalibrationFile c;
    const double area[4] = {0, 0, double(size.width), double(size.height)};
    const double head[4] = {138 * sx, 30 * sy, 44 * sx, 60 * sy};
    const double shoulders[4] = {120 * sx, 100 * sy, 200 * sx, 100 * sy};
    for (int i = 0; i < 4; ++i) {
        c.area[i] = area[i];
        c.head[i] = head[i];
        c.shoulders[i] = shoulders[i];
    }
    return c;
}

bool makeH264WithBFrames(const std::string& source, const std::string& target)
{
    if (std::system("ffmpeg -version > /dev/null 2>&1") != 0)
        return false;
    const std::string cmd = "ffmpeg -nostdin -v error -y -i '" + source
                            + "' -c:v libx264 -bf 2 -g 12 -pix_fmt yuv420p '" + target + "' > /dev/null 2>&1";
    return std::system(cmd.c_str()) == 0 && fileExists(target);
}

std::string readFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream f(path, std::ios::binary);
    f << text;
}

bool fileExists(const std::string& path) { return std::filesystem::exists(path); }

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l))
        out.push_back(l);
    return out;
}

bool isTrackingLine(const std::string& line)
{
    // Seven fields "-?[0-9]+\.[0-9]{6} ", nothing else.
    size_t i = 0;
    auto digits = [&](size_t atLeast, size_t atMost) {
        size_t n = 0;
        while (i < line.size() && n < atMost && line[i] >= '0' && line[i] <= '9') {
            ++i;
            ++n;
        }
        return n >= atLeast;
    };
    for (int field = 0; field < 7; ++field) {
        if (i < line.size() && line[i] == '-')
            ++i;
        if (!digits(1, line.size()))
            return false;
        if (i >= line.size() || line[i++] != '.')
            return false;
        if (!digits(6, 6) || i >= line.size() || line[i++] != ' ')
            return false;
    }
    return i == line.size();
}

std::vector<double> numbers(const std::string& line)
{
    std::vector<double> v;
    std::istringstream in(line);
    double d;
    while (in >> d)
        v.push_back(d);
    return v;
}

} // namespace vestiga::test
