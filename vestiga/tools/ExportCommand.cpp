#include "ExportCommand.h"

#include "eaf/EafDocument.h"

#include <CLI/CLI.hpp>

#include <sys/stat.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>

namespace fs = std::filesystem;

namespace vestiga {

const char* const kExportHeader = "time,hand1_x,hand1_y,hand2_x,hand2_y,head_x,head_y";

namespace {

constexpr size_t kMaxTrackingBytes = size_t(256) << 20;

bool finiteNumber(const std::string& token, double& value)
{
    if (token.empty())
        return false;
    char* end = nullptr;
    value = std::strtod(token.c_str(), &end);
    return end == token.c_str() + token.size() && std::isfinite(value);
}

bool readText(const std::string& path, std::string& text, std::string* error)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        *error = "'" + path + "' does not exist";
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = "'" + path + "' " + (S_ISDIR(st.st_mode) ? "is a folder" : "is not a regular file");
        return false;
    }
    if (size_t(st.st_size) > kMaxTrackingBytes) {
        *error = "'" + path + "' is larger than 256 MB";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    if (!in) {
        *error = "'" + path + "' cannot be read";
        return false;
    }
    text = s.str();
    return true;
}

} // namespace

bool trackingToCsv(const std::string& tracking, const std::string& name, std::string& csv, std::string* error)
{
    std::string out = std::string(kExportHeader) + "\n";
    // Trailing blank lines are not lines of the tracking.
    const size_t end = tracking.find_last_not_of(" \t\r\n");
    const std::string body = end == std::string::npos ? std::string() : tracking.substr(0, end + 1);
    if (body.empty()) {
        if (error)
            *error = "'" + name + "' holds no tracking line";
        return false;
    }
    std::istringstream lines(body);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        std::istringstream fields(line);
        std::string token[8];
        int n = 0;
        while (n < 8 && fields >> token[n])
            ++n;
        double v[7];
        bool ok = n == 7;
        for (int i = 0; ok && i < 7; ++i)
            ok = finiteNumber(token[i], v[i]);
        if (!ok) {
            if (error)
                *error = "'" + name + "' line " + std::to_string(number) +
                         ": expected seven numbers (hands, head, time in ms)";
            return false;
        }
        char time[64];
        const auto r = std::to_chars(time, time + sizeof time, v[6] / 1000.0, std::chars_format::fixed, 3);
        out.append(time, r.ptr);
        for (int i = 0; i < 6; ++i)
            out += "," + token[i];
        out += "\n";
    }
    csv = std::move(out);
    return true;
}

std::string relativeLink(const std::string& document, const std::string& target)
{
    const fs::path folder = fs::weakly_canonical(fs::absolute(document)).parent_path();
    const fs::path file = fs::weakly_canonical(fs::absolute(target));
    const std::string rel = file.lexically_relative(folder).generic_string();
    if (rel.empty())
        return file.generic_string();
    return rel.compare(0, 3, "../") == 0 ? rel : "./" + rel;
}

bool sameFile(const std::string& output, const std::string& input)
{
    std::error_code ec;
    if (fs::weakly_canonical(fs::absolute(output), ec) == fs::weakly_canonical(fs::absolute(input), ec))
        return true;
    struct stat a, b;
    return ::stat(output.c_str(), &a) == 0 && ::stat(input.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

const char* exportUsage()
{
    return "usage: vestiga-export TRACKING -o OUT.csv [--link-eaf DOCUMENT.eaf]\n";
}

int runExportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    CLI::App app("Writes a tracking file as a comma-separated time series and optionally links it "
                 "into an annotation document.",
                 "vestiga-export");
    std::string tracking, csvPath, eafPath;
    app.add_option("TRACKING", tracking, "tracking file written by vestiga-track")->required();
    app.add_option("-o,--output", csvPath, "the CSV to write")->required();
    app.add_option("--link-eaf", eafPath, "annotation document that gets the CSV as a linked file");
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return 0;
    } catch (const CLI::ParseError& e) {
        err << "vestiga-export: " << e.what() << "\n" << exportUsage();
        return 2;
    }
    auto bad = [&](const std::string& why) {
        err << "vestiga-export: " << why << "\n";
        return 2;
    };

    if (csvPath.empty() || csvPath.back() == '/' || fs::is_directory(csvPath))
        return bad("-o '" + csvPath + "': expects a file name, not a folder");
    if (!fs::is_directory(fs::absolute(csvPath).parent_path()))
        return bad("-o '" + csvPath + "': the folder does not exist");
    for (const std::string& input : {tracking, eafPath})
        if (!input.empty() && sameFile(csvPath, input))
            return bad("-o '" + csvPath + "' would overwrite the input '" + input + "'");

    std::string text, csv, error;
    if (!readText(tracking, text, &error) || !trackingToCsv(text, tracking, csv, &error))
        return bad("tracking " + error);
    eaf::Document doc;
    if (!eafPath.empty() && !doc.load(eafPath, &error))
        return bad("--link-eaf " + error);

    // The link is made in memory first, so that a document it cannot go
    // into is refused before anything is written.
    bool added = false;
    if (!eafPath.empty()) {
        const eaf::LinkedFile link{eaf::fileUrl(fs::weakly_canonical(fs::absolute(csvPath)).string()),
                                   relativeLink(eafPath, csvPath), "text/plain"};
        if (!doc.linkFile(link, &added, &error))
            return bad("--link-eaf '" + eafPath + "': " + error);
    }
    if (!eaf::writeFileAtomically(csvPath, csv, &error)) {
        err << "vestiga-export: " << error << "\n";
        return 1;
    }
    if (added && !doc.save(eafPath, &error)) {
        err << "vestiga-export: " << error << " (the CSV is written, the document is unchanged)\n";
        return 1;
    }
    return 0;
}

} // namespace vestiga
