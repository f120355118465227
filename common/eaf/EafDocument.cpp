#include "eaf/EafDocument.h"

#include "base/ReplaceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace eaf {

namespace {

void setError(std::string* error, const std::string& why)
{
    if (error)
        *error = why;
}

bool isDigits(const char* s)
{
    if (!*s)
        return false;
    for (; *s; ++s)
        if (*s < '0' || *s > '9')
            return false;
    return true;
}

// The encoding a declaration names, read the way the parser's encoding
// detection reads it: the first "encoding" anywhere inside "<?xml ... ?>",
// whatever precedes it (an attribute name with stray bytes before it still
// counts). "utf-8" when the declaration names none; "?" when it names one in
// a form that cannot be read, which no caller takes for UTF-8.
std::string declaredEncoding(const std::string& text, size_t start)
{
    const size_t close = text.find("?>", start);
    const std::string decl = text.substr(start, close == std::string::npos ? std::string::npos : close - start);
    size_t i = decl.find("encoding");
    if (i == std::string::npos)
        return "utf-8";
    i += 8;
    auto skipSpace = [&] {
        while (i < decl.size() && decl[i] && std::strchr(" \t\r\n", decl[i]))
            ++i;
    };
    skipSpace();
    if (i >= decl.size() || decl[i] != '=')
        return "?";
    ++i;
    skipSpace();
    if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\''))
        return "?";
    const size_t end = decl.find(decl[i], i + 1);
    if (end == std::string::npos)
        return "?";
    return decl.substr(i + 1, end - i - 1);
}

// A whole number of milliseconds (xsd:unsignedLong, bounded so that sums of
// two stay far inside int64).
bool parseMs(const char* s, int64_t& out)
{
    if (!isDigits(s) || std::strlen(s) > 15)
        return false;
    out = std::strtoll(s, nullptr, 10);
    return true;
}

int lineOf(const std::string& text, ptrdiff_t offset)
{
    const size_t end = std::min(text.size(), size_t(std::max<ptrdiff_t>(offset, 0)));
    return 1 + int(std::count(text.begin(), text.begin() + end, '\n'));
}

struct RawAnnotation {
    std::string tier;
    bool alignable = true;
    std::string slot1, slot2;     // alignable
    std::string ref, previous;    // symbolic
    size_t order = 0;             // position within its tier
    Annotation a;
};

} // namespace

bool Document::load(const std::string& path, std::string* error)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        setError(error, "'" + path + "': " + std::strerror(errno));
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        setError(error, "'" + path + "' is a folder, not an annotation document");
        return false;
    }
    if (size_t(st.st_size) > kMaxBytes) {
        setError(error, "'" + path + "' is larger than " + std::to_string(kMaxBytes >> 20) + " MB");
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        setError(error, "'" + path + "': cannot be read");
        return false;
    }
    std::stringstream s;
    s << in.rdbuf();
    if (in.bad()) {
        setError(error, "'" + path + "': read error");
        return false;
    }
    return parse(s.str(), path, error);
}

bool Document::parse(const std::string& text, const std::string& name, std::string* error)
{
    Document next;
    // parse_full keeps white space, comments, processing instructions and
    // the declaration, so that a save writes them back as they were.
    const pugi::xml_parse_result r =
        next.xml_.load_buffer(text.data(), text.size(), pugi::parse_full | pugi::parse_ws_pcdata, pugi::encoding_auto);
    if (!r) {
        setError(error, "'" + name + "' is not well-formed XML (line " + std::to_string(lineOf(text, r.offset)) +
                            ": " + r.description() + ")");
        return false;
    }
    next.encoding_ = r.encoding;
    // The parser tolerates a declaration after other content, but reads the
    // text in the encoding the start of the text suggests, not the one the
    // declaration names: a save would then write bytes that contradict the
    // declaration. XML allows the declaration only at the very start.
    const pugi::xml_node first = next.xml_.first_child();
    const bool declared = next.xml_.find_child([](pugi::xml_node n) { return n.type() == pugi::node_declaration; });
    const size_t bom = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    if (declared && (first.type() != pugi::node_declaration ||
                     ((r.encoding == pugi::encoding_utf8 || r.encoding == pugi::encoding_latin1) &&
                      text.compare(bom, 5, "<?xml") != 0))) {
        setError(error, "'" + name + "' is not well-formed XML (the XML declaration is not at the start)");
        return false;
    }
    // A UTF-8 byte-order mark makes the parser read UTF-8 whatever the
    // declaration names; a save would then contradict one of the two.
    if (bom && declared) {
        std::string named = declaredEncoding(text, bom);
        for (char& c : named)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (named != "utf-8" && named != "utf8") {
            setError(error, "'" + name + "' is not well-formed XML (a UTF-8 byte-order mark before a declaration of "
                                "another encoding)");
            return false;
        }
    }
    // A save writes the declaration as the parser kept it, and a reader takes
    // the encoding from that copy: it must be the one this text was read in.
    // (Stray bytes inside a declaration can hide its encoding from the
    // attributes the parser kept, but not from the detection on the bytes.)
    if (declared && (r.encoding == pugi::encoding_utf8 || r.encoding == pugi::encoding_latin1)) {
        std::ostringstream copy;
        first.print(copy, "", pugi::format_raw, r.encoding);
        const std::string probe = copy.str() + "<a/>";
        pugi::xml_document reread;
        const pugi::xml_parse_result back =
            reread.load_buffer(probe.data(), probe.size(), pugi::parse_full, pugi::encoding_auto);
        if (!back || back.encoding != r.encoding) {
            setError(error, "'" + name + "' is not well-formed XML (its declaration does not name the encoding "
                                "it is written in)");
            return false;
        }
    }
    // White space between the top-level nodes (after the declaration, after
    // the root element) is not kept by the parser: put the line breaks back,
    // in the document's own style, so that a save leaves those lines alone.
    const bool crlf = text.find("\r\n") != std::string::npos;
    const char* brk = crlf ? "\r\n" : "\n";
    for (pugi::xml_node n = next.xml_.first_child(); n; n = n.next_sibling())
        if (n.next_sibling() && n.type() != pugi::node_pcdata && n.next_sibling().type() != pugi::node_pcdata)
            n = next.xml_.insert_child_after(pugi::node_pcdata, n), n.set_value(brk);
    const size_t last = text.find_last_not_of(" \t");
    if (last != std::string::npos && text[last] == '\n' && next.xml_.last_child())
        next.xml_.append_child(pugi::node_pcdata).set_value(brk);
    if (!next.index(name, error))
        return false;
    xml_.reset(next.xml_);
    encoding_ = next.encoding_;
    // Indexing again binds nothing to the old tree: everything indexed is
    // copied out as values.
    tiers_ = std::move(next.tiers_);
    linked_ = std::move(next.linked_);
    timeOrigin_ = next.timeOrigin_;
    byTier_ = std::move(next.byTier_);
    return true;
}

bool Document::index(const std::string& name, std::string* error)
{
    const pugi::xml_node root = xml_.document_element();
    if (std::strcmp(root.name(), "ANNOTATION_DOCUMENT") != 0) {
        setError(error, "'" + name + "' is not an annotation document (its root element is <" +
                            std::string(root.name()) + ">, not <ANNOTATION_DOCUMENT>)");
        return false;
    }
    const pugi::xml_node header = root.child("HEADER");
    const char* units = header.attribute("TIME_UNITS").as_string("milliseconds");
    if (std::strcmp(units, "milliseconds") != 0) {
        setError(error, "'" + name + "': time units '" + units + "' are not supported (only milliseconds)");
        return false;
    }
    for (pugi::xml_node m = header.child("MEDIA_DESCRIPTOR"); m; m = m.next_sibling("MEDIA_DESCRIPTOR")) {
        int64_t origin = 0;
        if (m.attribute("TIME_ORIGIN") && parseMs(m.attribute("TIME_ORIGIN").value(), origin)) {
            timeOrigin_ = origin;
            break;
        }
    }
    for (pugi::xml_node l = header.child("LINKED_FILE_DESCRIPTOR"); l; l = l.next_sibling("LINKED_FILE_DESCRIPTOR"))
        linked_.push_back({l.attribute("LINK_URL").value(), l.attribute("RELATIVE_LINK_URL").value(),
                           l.attribute("MIME_TYPE").value()});

    // Time slots in TIME_ORDER order; unaligned ones interpolated.
    struct Slot {
        int64_t ms = 0;
        bool aligned = false;
    };
    std::vector<Slot> slots;
    std::map<std::string, size_t> slotIndex;
    for (pugi::xml_node t = root.child("TIME_ORDER").child("TIME_SLOT"); t; t = t.next_sibling("TIME_SLOT")) {
        Slot s;
        const pugi::xml_attribute v = t.attribute("TIME_VALUE");
        if (v) {
            if (!parseMs(v.value(), s.ms)) {
                setError(error, "'" + name + "': time slot '" + t.attribute("TIME_SLOT_ID").value() +
                                    "' has the time value '" + v.value() + "', not whole milliseconds");
                return false;
            }
            s.aligned = true;
        }
        slotIndex.emplace(t.attribute("TIME_SLOT_ID").value(), slots.size());
        slots.push_back(s);
    }
    std::vector<bool> untimed(slots.size(), false);
    for (size_t i = 0; i < slots.size();) {
        if (slots[i].aligned) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < slots.size() && !slots[j].aligned)
            ++j;
        const bool before = i > 0, after = j < slots.size();
        for (size_t k = i; k < j; ++k) {
            if (before && after) {
                const int64_t a = slots[i - 1].ms, b = slots[j].ms;
                slots[k].ms = a + (b - a) * int64_t(k - i + 1) / int64_t(j - i + 1);
            } else if (before) {
                slots[k].ms = slots[i - 1].ms;
            } else if (after) {
                slots[k].ms = slots[j].ms;
            } else {
                untimed[k] = true;
            }
        }
        i = j;
    }

    // Annotations of every tier.
    std::vector<RawAnnotation> raw;
    std::map<std::string, size_t> byId;
    for (pugi::xml_node t = root.child("TIER"); t; t = t.next_sibling("TIER")) {
        Tier tier;
        tier.id = t.attribute("TIER_ID").value();
        tier.linguisticType = t.attribute("LINGUISTIC_TYPE_REF").value();
        tier.parent = t.attribute("PARENT_REF").value();
        tier.participant = t.attribute("PARTICIPANT").value();
        size_t order = 0;
        for (pugi::xml_node a = t.child("ANNOTATION"); a; a = a.next_sibling("ANNOTATION")) {
            const pugi::xml_node body = a.first_child().type() == pugi::node_element
                                            ? a.first_child()
                                            : a.find_child([](pugi::xml_node n) { return n.type() == pugi::node_element; });
            RawAnnotation r;
            r.tier = tier.id;
            r.order = order++;
            r.a.id = body.attribute("ANNOTATION_ID").value();
            r.a.value = body.child("ANNOTATION_VALUE").text().get();
            if (std::strcmp(body.name(), "ALIGNABLE_ANNOTATION") == 0) {
                r.slot1 = body.attribute("TIME_SLOT_REF1").value();
                r.slot2 = body.attribute("TIME_SLOT_REF2").value();
            } else if (std::strcmp(body.name(), "REF_ANNOTATION") == 0) {
                r.alignable = false;
                tier.symbolic = true;
                r.ref = body.attribute("ANNOTATION_REF").value();
                r.previous = body.attribute("PREVIOUS_ANNOTATION").value();
            } else {
                r.a.problem = "an annotation of an unknown kind <" + std::string(body.name()) + ">";
            }
            ++tier.annotationCount;
            if (!r.a.id.empty())
                byId.emplace(r.a.id, raw.size());
            raw.push_back(std::move(r));
        }
        tiers_.push_back(tier);
    }

    // Alignable annotations: the times of their two slots.
    for (RawAnnotation& r : raw) {
        if (!r.alignable || !r.a.problem.empty())
            continue;
        const auto s1 = slotIndex.find(r.slot1), s2 = slotIndex.find(r.slot2);
        if (s1 == slotIndex.end() || s2 == slotIndex.end()) {
            r.a.problem = "refers to the time slot '" + (s1 == slotIndex.end() ? r.slot1 : r.slot2) +
                          "', which the document does not have";
        } else if (untimed[s1->second] || untimed[s2->second]) {
            r.a.problem = "its time slots have no time (the document has no aligned time slot)";
        } else {
            r.a.beginMs = slots[s1->second].ms;
            r.a.endMs = slots[s2->second].ms;
        }
    }

    // Symbolic annotations: the parent's span (resolved along the chain of
    // references), divided among the siblings that share that parent.
    std::map<std::pair<std::string, std::string>, std::vector<size_t>> siblings; // (tier, ref) -> members
    for (size_t i = 0; i < raw.size(); ++i)
        if (!raw[i].alignable && raw[i].a.problem.empty())
            siblings[{raw[i].tier, raw[i].ref}].push_back(i);
    // Position of each among its siblings and their number: the chain of
    // PREVIOUS_ANNOTATION links from the one that has none, then the
    // siblings off the chain in document order.
    std::vector<int64_t> position(raw.size(), 0), shares(raw.size(), 1);
    std::vector<bool> placed(raw.size(), false); // each annotation is in one group
    for (const auto& group : siblings) {
        const std::vector<size_t>& sib = group.second;
        std::map<std::string, size_t> byPrevious;
        for (size_t k : sib)
            byPrevious.emplace(raw[k].previous, k);
        std::vector<size_t> ordered;
        for (auto it = byPrevious.find(""); it != byPrevious.end() && !placed[it->second];
             it = byPrevious.find(raw[it->second].a.id)) {
            ordered.push_back(it->second);
            placed[it->second] = true;
            if (raw[it->second].a.id.empty())
                break;
        }
        for (size_t k : sib)
            if (!placed[k])
                ordered.push_back(k);
        for (size_t n = 0; n < ordered.size(); ++n) {
            position[ordered[n]] = int64_t(n);
            shares[ordered[n]] = int64_t(ordered.size());
        }
    }
    std::vector<int> state(raw.size(), 0); // 0 unresolved, 1 resolving, 2 done
    // Resolves annotation i (iteratively over the chain of parents).
    auto resolve = [&](size_t start) {
        std::vector<size_t> chain{start};
        while (!chain.empty()) {
            const size_t i = chain.back();
            RawAnnotation& r = raw[i];
            if (r.alignable || !r.a.problem.empty() || state[i] == 2) {
                state[i] = 2;
                chain.pop_back();
                continue;
            }
            const auto p = byId.find(r.ref);
            if (p == byId.end()) {
                r.a.problem = "refers to the annotation '" + r.ref + "', which the document does not have";
                state[i] = 2;
                chain.pop_back();
                continue;
            }
            if (state[p->second] == 1) {
                for (size_t k : chain)
                    if (raw[k].a.problem.empty())
                        raw[k].a.problem = "its chain of references loops back on itself";
                for (size_t k : chain)
                    state[k] = 2;
                chain.clear();
                continue;
            }
            if (state[p->second] != 2 && !raw[p->second].alignable) {
                state[i] = 1;
                chain.push_back(p->second);
                continue;
            }
            const RawAnnotation& parent = raw[p->second];
            if (!parent.a.problem.empty()) {
                // The first parent without time names the cause once; the
                // annotations below it repeat that message as it is.
                const bool inherited = parent.a.problem.compare(0, 10, "its parent") == 0;
                r.a.problem = inherited ? parent.a.problem
                                        : "its parent '" + parent.a.id + "' has no time: " + parent.a.problem;
            } else {
                const int64_t n = shares[i], pos = position[i];
                const int64_t b = parent.a.beginMs, e = parent.a.endMs;
                r.a.beginMs = b + (e - b) * pos / n;
                r.a.endMs = b + (e - b) * (pos + 1) / n;
            }
            state[i] = 2;
            chain.pop_back();
        }
    };
    for (size_t i = 0; i < raw.size(); ++i)
        resolve(i);

    for (RawAnnotation& r : raw)
        byTier_[r.tier].push_back(std::move(r.a));
    return true;
}

const Tier* Document::findTier(const std::string& id) const
{
    for (const Tier& t : tiers_)
        if (t.id == id)
            return &t;
    return nullptr;
}

std::string Document::tierList() const
{
    std::string s;
    for (const Tier& t : tiers_)
        s += (s.empty() ? "\"" : ", \"") + t.id + "\"";
    return s.empty() ? "none" : s;
}

std::vector<Annotation> Document::annotations(const std::string& tierId) const
{
    const auto it = byTier_.find(tierId);
    if (it == byTier_.end())
        return {};
    std::vector<Annotation> out = it->second;
    std::stable_sort(out.begin(), out.end(), [](const Annotation& a, const Annotation& b) {
        return a.beginMs != b.beginMs ? a.beginMs < b.beginMs : a.endMs < b.endMs;
    });
    return out;
}

bool Document::linkFile(const LinkedFile& file, bool* added, std::string* error)
{
    if (added)
        *added = false;
    pugi::xml_node header = xml_.document_element().child("HEADER");
    if (!header) {
        setError(error, "the document has no HEADER to link a file into");
        return false;
    }
    for (const LinkedFile& l : linked_)
        if (l.url == file.url)
            return true;

    // After the last media descriptor or linked file, before the properties.
    pugi::xml_node after;
    for (pugi::xml_node n = header.first_child(); n; n = n.next_sibling())
        if (std::strcmp(n.name(), "MEDIA_DESCRIPTOR") == 0 || std::strcmp(n.name(), "LINKED_FILE_DESCRIPTOR") == 0)
            after = n;
    pugi::xml_node node;
    if (after) {
        node = header.insert_child_after("LINKED_FILE_DESCRIPTOR", after);
        // The same indentation as the element it follows.
        const pugi::xml_node ws = after.previous_sibling();
        if (ws.type() == pugi::node_pcdata)
            header.insert_copy_before(ws, node);
    } else {
        pugi::xml_node first = header.first_child();
        while (first && first.type() != pugi::node_element)
            first = first.next_sibling();
        node = first ? header.insert_child_before("LINKED_FILE_DESCRIPTOR", first)
                     : header.append_child("LINKED_FILE_DESCRIPTOR");
        const pugi::xml_node ws = node.previous_sibling();
        if (first && ws.type() == pugi::node_pcdata)
            header.insert_copy_before(ws, first);
    }
    node.append_attribute("LINK_URL") = file.url.c_str();
    node.append_attribute("MIME_TYPE") = file.mimeType.c_str();
    node.append_attribute("RELATIVE_LINK_URL") = file.relativeUrl.c_str();
    linked_.push_back(file);
    if (added)
        *added = true;
    return true;
}

std::string Document::serialize() const
{
    std::ostringstream out;
    // Raw: the white space read is written back as it was, and no second
    // declaration is added.
    xml_.save(out, "", pugi::format_raw | pugi::format_no_declaration, encoding_);
    return out.str();
}

bool Document::save(const std::string& path, std::string* error) const
{
    std::string why;
    if (base::replaceFile(path, serialize(), &why))
        return true;
    setError(error, "'" + path + "': " + why);
    return false;
}

std::string fileUrl(const std::string& absolutePath)
{
    static const char* hex = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : absolutePath) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            std::strchr("-._~/", c)) {
            url += char(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

} // namespace eaf
