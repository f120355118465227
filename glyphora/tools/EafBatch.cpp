#include "EafBatch.h"

#include "RenderSign.h"

#include "base/ReplaceFile.h"
#include "cli/Files.h"
#include "cli/Quote.h"
#include "core/DescriptionFile.h"
#include "eaf/EafDocument.h"
#include "render/HeadlessGL.h"
#include "render/SignSession.h"

#include <locale.h>
#include <wctype.h>

#include <chrono>
#include <cmath>
#include <filesystem>

namespace fs = std::filesystem;

namespace glyphora {

namespace {

// Decodes one UTF-8 character at s[i]; advances i. -1 for a malformed byte
// (then i moves by one).
long decodeUtf8(const std::string& s, size_t& i)
{
    const unsigned char c = s[i];
    const int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (extra == 0) {
        ++i;
        return c;
    }
    if (extra < 0 || i + extra >= s.size()) {
        ++i;
        return -1;
    }
    long cp = c & (0x3f >> extra);
    for (int k = 1; k <= extra; ++k) {
        const unsigned char d = s[i + k];
        if ((d >> 6) != 2) {
            ++i;
            return -1;
        }
        cp = (cp << 6) | (d & 0x3f);
    }
    i += extra + 1;
    return cp;
}

bool isLetter(long cp)
{
    if (cp < 0x80)
        return (cp >= 'a' && cp <= 'z') || (cp >= 'A' && cp <= 'Z');
    // Unicode letters through the C library's UTF-8 character classes.
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    return utf8 != locale_t(0) && iswalpha_l(wint_t(cp), utf8);
}

std::string csvField(const std::string& s)
{
    if (s.find_first_of(",\"\r\n") == std::string::npos)
        return s;
    std::string q = "\"";
    for (char c : s)
        q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

std::string html(const std::string& s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

// A relative link to a file of the sheet's folder (non-ASCII bytes encoded).
std::string href(const std::string& name)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
            c == '.')
            out += char(c);
        else
            out += std::string("%") + hex[c >> 4] + hex[c & 15];
    }
    return out;
}

std::string seconds3(double s)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", s);
    return buf;
}

// Why a sign's drawing was refused, in a user's words.
std::string drawProblem(SignPattern::DrawStatus status, int lines)
{
    switch (status) {
    case SignPattern::kBadLength:
        return lines <= 0 ? "too short: it spans no tracking line"
                          : "too long: it spans " + std::to_string(lines) + " tracking lines (at most " +
                                std::to_string(SignPattern::kMaxDuration) + ")";
    case SignPattern::kOutsideTracking:
    case SignPattern::kNoTracking:
        return "its lines lie outside the tracking";
    case SignPattern::kUnknownPattern:
        return "unknown movement pattern";
    case SignPattern::kDrawn:
        break;
    }
    return std::string();
}

void clearProgress(std::FILE* err, bool progress)
{
    if (progress)
        std::fprintf(err, "\r%-78s\r", "");
}

} // namespace

std::string safeGlossName(const std::string& gloss)
{
    std::string out;
    int count = 0;
    for (size_t i = 0; i < gloss.size() && count < 60; ++count) {
        const size_t start = i;
        const long cp = decodeUtf8(gloss, i);
        if (cp >= 0 && (isLetter(cp) || (cp >= '0' && cp <= '9') || cp == '-' || cp == '_'))
            out.append(gloss, start, i - start);
        else
            out += '_';
    }
    return out.empty() ? "_" : out;
}

const char* patternName(int pattern)
{
    static const char* names[] = {"free path", "arc", "repeated straight movement", "back-and-forth",
                                  "back-and-forth", "circle", "circle made twice", "no movement"};
    return pattern >= 0 && pattern < 8 ? names[pattern] : "unknown";
}

std::string signsTable(const std::vector<SignResult>& signs)
{
    std::string t = "index,gloss,begin,end,picture,description,export,pattern,symmetry,angle,orientation,"
                    "amplitude,rel1_x,rel1_y,rel2_x,rel2_y,reason\n";
    for (const SignResult& s : signs) {
        t += std::to_string(s.index) + "," + csvField(s.gloss) + "," + seconds3(s.begin) + "," + seconds3(s.end);
        if (s.made) {
            t += "," + csvField(s.stem + ".jpg") + "," + csvField(s.stem + ".sgn") + "," + csvField(s.stem + ".txt");
            t += "," + std::to_string(s.descr.movCat) + "," + std::to_string(s.descr.symCat);
            for (double v : {double(s.descr.symAngle), double(s.descr.orientation), double(s.descr.amplitude),
                             s.relative[0], s.relative[1], s.relative[2], s.relative[3]})
                t += "," + formatFixed6(v);
            t += ",\n";
        } else {
            t += ",,,,,,,,,,,,," + csvField(s.reason) + "\n";
        }
    }
    return t;
}

std::string contactSheet(const std::string& title, const std::vector<SignResult>& signs)
{
    std::string h = "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>" + html(title) +
                    "</title>\n<style>\n"
                    "body { font-family: sans-serif; margin: 1em; background: #f4f4f4; color: #222; }\n"
                    "h1 { font-size: 1.3em; }\n"
                    ".sheet { display: grid; grid-template-columns: repeat(auto-fill, minmax(260px, 1fr)); "
                    "gap: 12px; }\n"
                    "figure { margin: 0; background: #fff; border: 1px solid #ccc; padding: 6px; }\n"
                    "figure img { width: 100%; height: auto; display: block; }\n"
                    "figcaption { margin-top: 4px; font-size: 0.9em; }\n"
                    ".gloss { font-weight: bold; font-size: 1.1em; }\n"
                    ".missing { background: #eee; color: #a00; min-height: 120px; display: flex; "
                    "align-items: center; justify-content: center; text-align: center; padding: 8px; }\n"
                    "</style>\n</head>\n<body>\n<h1>" + html(title) + "</h1>\n";
    int made = 0;
    for (const SignResult& s : signs)
        made += s.made;
    h += "<p>" + std::to_string(made) + " of " + std::to_string(signs.size()) +
         " signs made. <a href=\"signs.csv\">Table (signs.csv)</a></p>\n<div class=\"sheet\">\n";
    for (const SignResult& s : signs) {
        char number[16];
        std::snprintf(number, sizeof number, "%03d", s.index);
        h += "<figure id=\"sign" + std::string(number) + "\">\n";
        if (s.made)
            h += "<a href=\"" + href(s.stem + ".jpg") + "\"><img src=\"" + href(s.stem + ".jpg") + "\" alt=\"" +
                 html(s.gloss) + "\"></a>\n";
        else
            h += "<div class=\"missing\">not made: " + html(s.reason) + "</div>\n";
        h += "<figcaption><span class=\"gloss\">" + std::string(number) + " " + html(s.gloss) + "</span><br>" +
             seconds3(s.begin) + " s &ndash; " + seconds3(s.end) + " s";
        if (s.made)
            h += "<br>pattern " + std::to_string(s.descr.movCat) + ": " + patternName(s.descr.movCat) +
                 " &middot; <a href=\"" + href(s.stem + ".sgn") + "\">.sgn</a> &middot; <a href=\"" +
                 href(s.stem + ".txt") + "\">export</a>";
        h += "</figcaption>\n</figure>\n";
    }
    h += "</div>\n</body>\n</html>\n";
    return h;
}

int runEafBatch(const RenderOptions& o, std::FILE* err, bool progress)
{
    auto refuse = [&](const std::string& why) {
        std::fprintf(err, "glyphora-render: %s\n", why.c_str());
        return 2;
    };
    // Everything that can stop the batch is checked before the folder is made.
    eaf::Document doc;
    std::string error;
    if (!doc.load(o.eaf, &error))
        return refuse("--eaf " + error);
    const eaf::Tier* tier = doc.findTier(o.tier);
    if (!tier)
        return refuse("--tier '" + o.tier + "': the document has no such tier; its tiers: " + doc.tierList());
    const std::vector<eaf::Annotation> annotations = doc.annotations(o.tier);
    if (annotations.empty())
        return refuse("--tier '" + o.tier + "' has no annotations");
    std::error_code ec;
    if (fs::exists(o.outDir, ec) && !fs::is_directory(o.outDir, ec))
        return refuse("--out-dir '" + o.outDir + "' exists and is not a folder");

    SignSession probe;
    if (!probe.loadVideo(o.video, &error))
        return refuse("video " + error);
    if (!probe.loadTracking(o.tracking, &error))
        return refuse(error);
    int width = 0, height = 0;
    const std::string size = pictureSize(probe, o, &width, &height);
    if (!size.empty())
        return refuse(size);
    // Every name the batch writes, checked against every input before the
    // folder is made.
    std::vector<std::string> stems, outputs;
    for (size_t i = 0; i < annotations.size(); ++i) {
        char number[16];
        std::snprintf(number, sizeof number, "%03d_", int(i) + 1);
        stems.push_back(number + safeGlossName(annotations[i].value));
        for (const char* ext : {".jpg", ".sgn", ".txt"})
            outputs.push_back((fs::path(o.outDir) / (stems.back() + ext)).string());
    }
    outputs.push_back((fs::path(o.outDir) / "signs.csv").string());
    outputs.push_back((fs::path(o.outDir) / "index.html").string());
    for (const std::string& out : outputs) {
        const std::string why = cli::outputNameProblem(out);
        if (!why.empty())
            return refuse("--out-dir " + cli::quote(o.outDir) + ": " + out + " " + why);
    }
    error = cli::outputOverInput(outputs, {o.video, o.tracking, o.eaf});
    if (!error.empty())
        return refuse("--out-dir " + cli::quote(o.outDir) + ": " + error);

    HeadlessGL gl;
    if (!gl.create(width, height, &error)) {
        std::fprintf(err, "glyphora-render: %s\n", error.c_str());
        return 1;
    }
    fs::create_directories(o.outDir, ec);
    if (ec)
        return refuse("--out-dir '" + o.outDir + "': " + ec.message());

    const double origin = double(doc.mediaTimeOrigin());
    std::vector<SignResult> signs;
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    for (size_t i = 0; i < annotations.size(); ++i) {
        const eaf::Annotation& a = annotations[i];
        SignResult s;
        s.index = int(i) + 1;
        s.gloss = a.value;
        s.stem = stems[i];
        s.begin = (double(a.beginMs) + origin) / 1000.0;
        s.end = (double(a.endMs) + origin) / 1000.0;
        if (progress) {
            const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            std::fprintf(err, "\rsigns: %zu/%zu, %.1f s elapsed, %-30.30s", i + 1, annotations.size(), elapsed,
                         s.stem.c_str());
            std::fflush(err);
        }

        if (!a.problem.empty())
            s.reason = "its times are unknown: " + a.problem;
        else if (s.end < s.begin)
            s.reason = "it ends before it begins";

        SignSession session;
        RenderOptions one = o;
        one.begin = s.begin;
        one.end = s.end;
        one.keyFrames.clear();
        for (double f : o.keyFramesAt)
            one.keyFrames.push_back({s.begin + f * (s.end - s.begin), 0.0});
        if (s.reason.empty() && (!session.loadVideo(o.video, &error) || !session.loadTracking(o.tracking, &error)))
            s.reason = error;
        if (s.reason.empty())
            s.reason = checkSignTime(session, "its begin", s.begin);
        if (s.reason.empty())
            s.reason = checkSignTime(session, "its end", s.end);
        if (s.reason.empty())
            s.reason = checkSignFramesDecode(one);
        if (s.reason.empty() && !composeSign(session, one, &error))
            s.reason = error;
        if (s.reason.empty()) {
            const SignPattern::DrawStatus status = session.drawArrowView(width, height);
            s.reason = drawProblem(status, session.arrowView().end - session.arrowView().beg);
        }
        if (s.reason.empty()) {
            const std::string base = (fs::path(o.outDir) / s.stem).string();
            for (int cell : o.configuration)
                session.setConfigurationCell(cell, true);
            std::string printed;
            bool ok = session.saveSign(base, width, height, &printed, &error);
            s.descr = session.spat().descr;
            s.relative = relativePositions(s.descr);
            if (ok && !base::replaceFile(base + ".txt", printed, &error)) {
                error = base + ".txt: " + error;
                ok = false;
            }
            s.made = ok;
            if (!ok)
                s.reason = error;
        }
        if (!s.made) {
            clearProgress(err, progress);
            std::fprintf(err, "glyphora-render: sign %03d \"%s\" (%.3f s to %.3f s) not made: %s\n", s.index,
                         s.gloss.c_str(), s.begin, s.end, s.reason.c_str());
        }
        signs.push_back(std::move(s));
    }
    clearProgress(err, progress);

    int made = 0;
    for (const SignResult& s : signs)
        made += s.made;
    const std::string title = fs::path(o.video).filename().string() + ", tier " + o.tier;
    const std::string table = (fs::path(o.outDir) / "signs.csv").string();
    const std::string sheet = (fs::path(o.outDir) / "index.html").string();
    const bool tableSaved = base::replaceFile(table, signsTable(signs), &error);
    if (!tableSaved || !base::replaceFile(sheet, contactSheet(title, signs), &error)) {
        std::fprintf(err, "glyphora-render: %s: %s\n", (tableSaved ? sheet : table).c_str(), error.c_str());
        return 1;
    }
    std::fprintf(err, "glyphora-render: %d of %zu signs made in %s\n", made, signs.size(), o.outDir.c_str());
    return made == int(signs.size()) ? 0 : 1;
}

} // namespace glyphora
