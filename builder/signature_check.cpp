#include "builder/signature_check.h"

#include <algorithm>

#include "package/integrity.h"
#include "package/package_format.h"

namespace {

constexpr uint16_t kRevision2 = 0x0200, kPkcsSignedData = 2;
constexpr size_t kWinCertificateHeader = 8;  // dwLength, wRevision, wCertificateType

// The size of the DER element at `p` (tag, length and contents), or 0 when
// its length does not parse or runs past `size`.
size_t DerElementSize(const uint8_t* p, size_t size) {
    if (size < 2) return 0;
    size_t header = 2, length = p[1];
    if (length & 0x80) {
        size_t bytes = length & 0x7F;
        // DER: the shortest length form, at most four bytes here, no leading zero.
        if (bytes == 0 || bytes > 4 || size < 2 + bytes || p[2] == 0) return 0;
        length = 0;
        for (size_t k = 0; k < bytes; ++k) length = length << 8 | p[2 + k];
        if (length < 0x80) return 0;
        header += bytes;
    }
    return length <= size - header ? header + length : 0;
}

}  // namespace

std::string SignatureProblem(const Bytes& file) {
    SigningLayout layout = ReadSigningLayout(file.data(), std::min<size_t>(file.size(), kSigningHeadSize));
    if (!layout.table_offset && !layout.table_size) return "no certificate table";
    if (uint64_t(layout.table_offset) + layout.table_size > file.size() || layout.table_size < kWinCertificateHeader)
        return "the certificate table lies outside the file or is too short";
    const uint8_t* t = file.data() + layout.table_offset;
    uint32_t length = ReadU32(t);
    if (length < kWinCertificateHeader || length > layout.table_size) return "its WIN_CERTIFICATE length does not fit the table";
    if (ReadU16(t + 4) != kRevision2 || ReadU16(t + 6) != kPkcsSignedData)
        return "it is no WIN_CERTIFICATE of revision 0x0200 holding PKCS#7 SignedData";
    const uint8_t* der = t + kWinCertificateHeader;
    size_t room = length - kWinCertificateHeader;
    if (room < 2 || der[0] != 0x30 || !DerElementSize(der, room)) return "its certificate is no DER SEQUENCE";
    return {};
}
