#pragma once
// glyphora-render --eaf: one sign picture per annotation of a tier of an
// annotation document, in time order, with a table (signs.csv) and a contact
// sheet (index.html) of all of them.
//
// For sign NNN (from 001) with the value GLOSS: DIR/NNN_GLOSS.jpg, .sgn and
// .txt (the movement export the single run prints). A sign that cannot be
// drawn is listed on standard error and in the sheet with the reason.
//
// Exit status: 0 every sign made; 1 some not made; 2 nothing could start
// (bad options, unreadable or malformed document, missing tier, tier without
// annotations, unreadable video or tracking): then nothing is created.
#include "RenderOptions.h"

#include "core/SignDescription.h"

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace glyphora {

// An annotation's value made safe for a file name: letters (also non-ASCII
// ones), digits, '-' and '_' kept, every other character '_', at most 60
// characters; "_" for an empty value.
std::string safeGlossName(const std::string& gloss);

// One sign of the batch.
struct SignResult {
    int index = 0;         // from 1
    std::string gloss;     // the annotation's value as written
    double begin = 0, end = 0; // seconds of the video
    std::string stem;      // "NNN_GLOSS": the files are stem + .jpg/.sgn/.txt
    bool made = false;
    std::string reason;    // why it was not made
    SignDescription descr; // the description's values (made signs)
    std::array<double, 4> relative{}; // the two relative positions
};

// The table: a header line, then one row per sign (RFC 4180 quoting where
// needed). Columns: index, gloss, begin, end, picture, description, export,
// pattern, symmetry, angle, orientation, amplitude, rel1_x, rel1_y, rel2_x,
// rel2_y, reason (empty for a made sign; then the file and value columns
// are empty).
std::string signsTable(const std::vector<SignResult>& signs);

// The contact sheet: a self-contained HTML page (inline style, no script,
// relative links only) with every picture, its gloss, times and pattern, and
// the reason for every sign not made, in annotation order.
std::string contactSheet(const std::string& title, const std::vector<SignResult>& signs);

// The movement pattern's name ("arc", "circle", ...), for the sheet.
const char* patternName(int pattern);

// The whole batch. Messages and progress (when `progress`) go to `err`.
int runEafBatch(const RenderOptions& o, std::FILE* err = stderr, bool progress = false);

} // namespace glyphora
