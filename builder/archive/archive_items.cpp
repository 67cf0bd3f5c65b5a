#include "builder/archive/archive_items.h"

#include <stdexcept>

#include "builder/archive/stream_encoder.h"
#include "decoder/inflate.h"
#include "package/package_format.h"

namespace {

void PutSize(Bytes& out, uint32_t v, bool wide) {
    out.push_back(uint8_t(v)), out.push_back(uint8_t(v >> 8));
    if (wide) out.push_back(uint8_t(v >> 16)), out.push_back(uint8_t(v >> 24));
}

}  // namespace

Bytes FrameArchiveItem(const Bytes& data, int level) {
    if (data.size() > 0xFFFFFFFFu) throw std::length_error("an archive item is limited to 4 GiB");
    uint32_t size = uint32_t(data.size());
    bool wide = size > 0xFFFF;
    Bytes item;
    if (size) {
        Bytes packed = EncodeStream(data.data(), data.size(), level);
        bool wide_packed = packed.size() > 0xFFFF;
        // The packed size field costs 2 or 4 bytes more than a stored item.
        if (packed.size() + (wide_packed ? 4 : 2) < data.size()) {
            item.push_back(uint8_t(kItemCompressed | (wide ? kItemWideUnpacked : 0) | (wide_packed ? kItemWidePacked : 0)));
            PutSize(item, size, wide);
            PutSize(item, uint32_t(packed.size()), wide_packed);
            item.insert(item.end(), packed.begin(), packed.end());
            return item;
        }
    }
    item.push_back(wide ? kItemWideUnpacked : 0);
    PutSize(item, size, wide);
    item.insert(item.end(), data.begin(), data.end());
    return item;
}

std::string ReadItemFromArchive(const Bytes& archive, size_t* at, Bytes* data, std::string* note) {
    size_t p = *at;
    auto size_field = [&](bool wide, uint32_t* v) {
        size_t n = wide ? 4 : 2;
        if (archive.size() - p < n) return false;
        *v = wide ? ReadU32(&archive[p]) : ReadU16(&archive[p]);
        p += n;
        return true;
    };
    std::vector<std::string> notes;
    auto finish = [&] {
        std::string all;
        for (const std::string& n : notes) all += (all.empty() ? "" : "; ") + n;
        if (note) *note = all;
        return std::string();
    };
    if (p >= archive.size()) return "the item lies outside the archive";
    uint8_t flags = archive[p++];
    if (flags & ~kItemUsedFlags)
        notes.push_back("the item's flags " + std::to_string(flags) + " hold bits the setup program does not use");
    uint32_t size = 0, packed = 0;
    if (!size_field(flags & kItemWideUnpacked, &size)) return "the item's header runs past the archive";
    if (!(flags & kItemCompressed) || size == 0) {
        // The setup program reads no more of an item of size 0, whatever its flags.
        if (archive.size() - p < size) return "the item's bytes run past the archive";
        data->assign(archive.begin() + long(p), archive.begin() + long(p + size));
        *at = p + size;
        return finish();
    }
    if (!size_field(flags & kItemWidePacked, &packed)) return "the item's header runs past the archive";
    if (packed == 0) return "the compressed item has no packed bytes";
    if (archive.size() - p < packed) return "the item's packed bytes run past the archive";
    if (size > MaxDecodedSize(packed))
        return "the item claims " + std::to_string(size) + " bytes from " + std::to_string(packed) + " packed bytes";
    data->assign(size, 0);
    size_t produced = 0, consumed = 0;
    InflateResult r = InflateBuffer(&archive[p], packed, data->data(), data->size(), &produced, &consumed);
    if (r != kInflateOk) return "the item's stream does not decode (decoder result " + std::to_string(r) + ")";
    if (produced != size)
        notes.push_back("the item decodes to " + std::to_string(produced) + " of its " + std::to_string(size) +
                        " bytes; the rest reads as zeros");
    if (consumed != packed)
        notes.push_back("the item's stream ends after " + std::to_string(consumed) + " of its " +
                        std::to_string(packed) + " packed bytes; the next item is read from there");
    *at = p + consumed;
    return finish();
}
