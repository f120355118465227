#pragma once
// The signs of an annotation document as the sign-picture window offers them:
// the document's tiers, the annotations of the chosen gloss tier with their
// times on the video's time line, and the file name a gloss gives a picture.
// Qt-free; the window shows what this holds and reports its refusals.
#include "eaf/EafDocument.h"

#include "media/MovieTime.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace glyphora {

// The name of the tier chosen by default when a document has it.
inline constexpr const char* kDefaultGlossTier = "Gloss";

// The saved picture's default name is the gloss made safe for a file name
// by the batch's own rule (safeGlossName, EafBatch.h), so that a picture
// saved from the window and one made by the batch are named alike.

struct GlossEntry {
    std::string gloss;
    // Milliseconds on the video's time line (the document's times plus its
    // media time origin).
    int64_t beginMs = 0, endMs = 0;
    // Empty when the times are known, else why they are not.
    std::string problem;
};

class GlossList {
public:
    // Reads a document. On failure returns false with the reason and keeps
    // the document and tier held before. On success no tier is chosen yet.
    bool load(const std::string& path, std::string* error = nullptr);

    bool hasDocument() const { return doc_ != nullptr; }
    const std::string& path() const { return path_; }
    std::vector<std::string> tierNames() const;
    // kDefaultGlossTier when the document has it, else empty (the user chooses).
    std::string defaultTier() const;

    // Makes `tier` the gloss tier. False, with the chosen tier and its
    // entries unchanged, for an unknown tier or one without annotations
    // (*empty tells which).
    bool chooseTier(const std::string& tier, bool* empty = nullptr);
    const std::string& tier() const { return tier_; }
    const std::vector<GlossEntry>& entries() const { return entries_; }

    // Why entry i cannot be the sign of a video of the given duration (an
    // unknown entry, unknown times, an end before the begin, times before 0 or
    // after the end of the video); Refusal::None when it can, with its begin
    // and end as movie times (in the duration's scale) in *begin and *end.
    enum class Refusal { None, NoEntry, Untimed, Reversed, OutsideVideo };
    Refusal span(int i, const media::MovieTime& duration, media::MovieTime* begin, media::MovieTime* end) const;

private:
    std::unique_ptr<eaf::Document> doc_;
    std::string path_;
    std::string tier_;
    std::vector<GlossEntry> entries_;
};

} // namespace glyphora
