#pragma once
// An annotation document (".eaf", XML) as the corpus tools use it: its tiers,
// the annotations of a tier with their times, and linking a secondary file
// (a time series) into its header. The document is held as parsed XML, so
// that saving it after a link changes nothing but the link: element and
// attribute order, white space, comments, the XML declaration and the
// character encoding all stay as they were read.
//
// Times. Annotation times are milliseconds of the document's time line (the
// TIME_ORDER's time slots). Time slots without a TIME_VALUE ("unaligned", as
// an annotation tool writes them inside a subdivided span) get a time by
// linear interpolation along the TIME_ORDER between the nearest aligned slots
// before and after them: the k-th of m unaligned slots between aligned slots
// at times a and b is at a + (b - a) * k / (m + 1). Before the first aligned
// slot they take its time, after the last one that time; with no aligned slot
// at all they are 0 and the annotation is reported as untimed.
//
// Symbolic annotations (REF_ANNOTATION) take the times of the annotation they
// refer to, following chains of references. When several annotations of one
// tier refer to the same parent (a symbolic subdivision) the parent's span is
// divided into equal parts in the order their PREVIOUS_ANNOTATION links give.
#include <pugixml.hpp>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace eaf {

struct Tier {
    std::string id;              // TIER_ID
    std::string linguisticType;  // LINGUISTIC_TYPE_REF
    std::string parent;          // PARENT_REF (empty for a top tier)
    std::string participant;     // PARTICIPANT
    bool symbolic = false;       // its annotations are REF_ANNOTATIONs
    int annotationCount = 0;
};

struct Annotation {
    std::string id;     // ANNOTATION_ID
    std::string value;  // ANNOTATION_VALUE (may be empty)
    int64_t beginMs = 0, endMs = 0;
    // Empty when the times are known; otherwise why not (a missing time
    // slot, a reference to an annotation that does not exist, a cycle).
    std::string problem;
};

// A secondary file linked to the document (LINKED_FILE_DESCRIPTOR).
struct LinkedFile {
    std::string url;          // LINK_URL, a file:// URL
    std::string relativeUrl;  // RELATIVE_LINK_URL
    std::string mimeType = "text/plain";
};

class Document {
public:
    // Reads a document from a file (at most kMaxBytes). On failure returns
    // false with a message naming the file and, for malformed XML, the line,
    // and the document keeps what it held before.
    bool load(const std::string& path, std::string* error = nullptr);
    // The same from text in memory; `name` is used in messages.
    bool parse(const std::string& text, const std::string& name, std::string* error = nullptr);

    static constexpr size_t kMaxBytes = size_t(256) << 20;

    // Tiers in document order.
    const std::vector<Tier>& tiers() const { return tiers_; }
    const Tier* findTier(const std::string& id) const;
    // "Gloss", "Mouth" (the tier names, quoted, comma-separated) for messages.
    std::string tierList() const;

    // The annotations of a tier sorted by begin, then end, then document
    // order. Empty for an unknown tier.
    std::vector<Annotation> annotations(const std::string& tierId) const;

    // The TIME_ORIGIN of the first media descriptor (ms into the media where
    // the document's time 0 lies), 0 when none is given.
    int64_t mediaTimeOrigin() const { return timeOrigin_; }

    const std::vector<LinkedFile>& linkedFiles() const { return linked_; }

    // Adds a LINKED_FILE_DESCRIPTOR to the HEADER where the schema puts it:
    // after the media descriptors and linked files already there, before the
    // properties. A file whose LINK_URL is already linked is not added again
    // (*added is then false). False with a message when the document has no
    // HEADER.
    bool linkFile(const LinkedFile& file, bool* added = nullptr, std::string* error = nullptr);

    // The document as text, in the encoding it was read in.
    std::string serialize() const;
    // Replaces `path` with serialize() whole or not at all, keeping the old
    // file's permissions (base::replaceFile); a message names the file.
    bool save(const std::string& path, std::string* error = nullptr) const;

private:
    bool index(const std::string& name, std::string* error);

    pugi::xml_document xml_;
    pugi::xml_encoding encoding_ = pugi::encoding_utf8;
    std::vector<Tier> tiers_;
    std::vector<LinkedFile> linked_;
    int64_t timeOrigin_ = 0;
    // Annotations of each tier, times resolved, in document order.
    std::map<std::string, std::vector<Annotation>> byTier_;
};

// "file://" + the absolute path with every byte other than letters, digits,
// "-._~/" percent-encoded (RFC 8089 / 3986).
std::string fileUrl(const std::string& absolutePath);

} // namespace eaf
