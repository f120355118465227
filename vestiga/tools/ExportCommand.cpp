#include "ExportCommand.h"

#include "eaf/EafDocument.h"

#include "base/Path.h"
#include "base/ReplaceFile.h"
#include "cli/Files.h"
#include "cli/Options.h"
#include "cli/Quote.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <sstream>

namespace fs = std::filesystem;

namespace vestiga {

const char* const kExportHeader = "time,hand1_x,hand1_y,hand2_x,hand2_y,head_x,head_y";

namespace {

bool finiteNumber(const std::string& token, double& value)
{
    if (token.empty())
        return false;
    char* end = nullptr;
    value = std::strtod(token.c_str(), &end);
    return end == token.c_str() + token.size() && std::isfinite(value);
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

const char* exportUsage()
{
    return "usage: vestiga-export TRACKING -o OUT.csv [--link-eaf DOCUMENT.eaf]\n";
}

int runExportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    std::vector<std::string> positional;
    std::string csvPath, eafPath;
    cli::Options opts("vestiga-export", exportUsage());
    opts.text("-o,--output", &csvPath);
    opts.text("--link-eaf", &eafPath);
    opts.positionals(&positional);
    std::string why;
    const int parsed = cli::finishParse(opts, opts.parse(args, &why), why, out, err);
    if (parsed >= 0)
        return parsed;
    auto bad = [&](const std::string& why) {
        err << "vestiga-export: " << why << "\n";
        return cli::kExitBadInput;
    };
    if (positional.size() != 1)
        return bad(positional.empty() ? "a TRACKING file is required"
                                      : "unexpected argument " + cli::quote(positional[1]));
    const std::string& tracking = positional[0];
    if (csvPath.empty())
        return bad("-o OUT.csv is required");

    why = cli::outputNameProblem(csvPath);
    if (!why.empty())
        return bad("-o " + cli::quote(csvPath) + ": " + why);
    if (!base::isFolder(base::folderOf(csvPath)))
        return bad("-o " + cli::quote(csvPath) + ": the folder does not exist");
    why = cli::outputOverInput({csvPath}, {tracking, eafPath});
    if (!why.empty())
        return bad("-o " + cli::quote(csvPath) + ": " + why);

    std::string text, csv, error;
    if (!cli::readTextFile(tracking, cli::kTrackingFileMax, &text, &error))
        return bad("tracking file " + cli::quote(tracking) + " " + error);
    if (!trackingToCsv(text, tracking, csv, &error))
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
    if (!base::replaceFile(csvPath, csv, &error)) {
        err << "vestiga-export: " << csvPath << ": " << error << "\n";
        return cli::kExitFailed;
    }
    if (added && !doc.save(eafPath, &error)) {
        err << "vestiga-export: " << error << " (the CSV is written, the document is unchanged)\n";
        return 1;
    }
    return 0;
}

} // namespace vestiga
