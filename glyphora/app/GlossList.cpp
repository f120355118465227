#include "GlossList.h"

namespace glyphora {

bool GlossList::load(const std::string& path, std::string* error)
{
    auto doc = std::make_unique<eaf::Document>();
    if (!doc->load(path, error))
        return false;
    doc_ = std::move(doc);
    path_ = path;
    tier_.clear();
    entries_.clear();
    return true;
}

std::vector<std::string> GlossList::tierNames() const
{
    std::vector<std::string> names;
    if (doc_)
        for (const eaf::Tier& t : doc_->tiers())
            names.push_back(t.id);
    return names;
}

std::string GlossList::defaultTier() const
{
    return doc_ && doc_->findTier(kDefaultGlossTier) ? std::string(kDefaultGlossTier) : std::string();
}

bool GlossList::chooseTier(const std::string& tier, bool* empty)
{
    if (empty)
        *empty = false;
    if (!doc_ || !doc_->findTier(tier))
        return false;
    const std::vector<eaf::Annotation> annotations = doc_->annotations(tier);
    if (annotations.empty()) {
        if (empty)
            *empty = true;
        return false;
    }
    // The document's time 0 lies at the media time origin of the video.
    const int64_t origin = doc_->mediaTimeOrigin();
    std::vector<GlossEntry> entries;
    entries.reserve(annotations.size());
    for (const eaf::Annotation& a : annotations)
        entries.push_back({a.value, a.beginMs + origin, a.endMs + origin, a.problem});
    tier_ = tier;
    entries_ = std::move(entries);
    return true;
}

GlossList::Refusal GlossList::span(int i, const media::MovieTime& duration, media::MovieTime* begin,
                                   media::MovieTime* end) const
{
    if (i < 0 || size_t(i) >= entries_.size())
        return Refusal::NoEntry;
    const GlossEntry& e = entries_[size_t(i)];
    if (!e.problem.empty())
        return Refusal::Untimed;
    if (e.endMs < e.beginMs)
        return Refusal::Reversed;
    // Compared as movie times, the unit the views and the session use.
    const media::MovieTime b = media::MovieTime::fromSeconds(double(e.beginMs) / 1000.0, duration.scale);
    const media::MovieTime t = media::MovieTime::fromSeconds(double(e.endMs) / 1000.0, duration.scale);
    if (b.value < 0 || t.value > duration.value)
        return Refusal::OutsideVideo;
    if (begin)
        *begin = b;
    if (end)
        *end = t;
    return Refusal::None;
}

} // namespace glyphora
