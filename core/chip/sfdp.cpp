#include "core/chip/sfdp.h"

#include <QCoreApplication>

#include <algorithm>

namespace korvane {

namespace {

// Translated in the context "Sfdp".
class SfdpText
{
    Q_DECLARE_TR_FUNCTIONS(Sfdp)
};

std::uint32_t dword(const std::uint8_t* table, int index)
{
    const std::uint8_t* p = table + 4 * index;
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

bool fail(QString* why, const QString& text)
{
    if (why != nullptr)
        *why = text;
    return false;
}

} // namespace

bool SfdpInfo::wantsVolatileWriteEnable() const
{
    // Only a register that is volatile and written after 50 wants it; one that has both kinds
    // takes 06 for its non-volatile bits, which is what is meant to stay.
    if (statusRegister1Write != 0)
        return (statusRegister1Write & 0x04) != 0 && (statusRegister1Write & 0x09) == 0;
    return volatileStatusBits && legacyVolatileWriteEnable50;
}

bool SfdpInfo::hasStatusRegister2() const
{
    return quadEnableRequirement == 4 || quadEnableRequirement == 5 || quadEnableRequirement == 6;
}

bool SfdpInfo::hasStatusRegister3() const
{
    return quadEnableRequirement == 6;
}

bool parseSfdpHeader(const std::uint8_t* data, std::size_t size, int* parameterHeaders, int* majorVersion,
                     int* minorVersion)
{
    if (data == nullptr || size < kSfdpHeaderSize)
        return false;
    // "SFDP", least significant byte first.
    if (data[0] != 'S' || data[1] != 'F' || data[2] != 'D' || data[3] != 'P')
        return false;
    if (majorVersion != nullptr)
        *majorVersion = data[5];
    if (minorVersion != nullptr)
        *minorVersion = data[4];
    if (parameterHeaders != nullptr)
        *parameterHeaders = data[6] + 1;
    return true;
}

SfdpParameterHeader parseSfdpParameterHeader(const std::uint8_t* data)
{
    SfdpParameterHeader header;
    header.id = static_cast<std::uint16_t>(data[7] << 8 | data[0]);
    header.minorVersion = data[1];
    header.majorVersion = data[2];
    header.dwords = data[3];
    header.pointer = std::uint32_t(data[4]) | std::uint32_t(data[5]) << 8 | std::uint32_t(data[6]) << 16;
    return header;
}

bool findSfdpBasicTable(const std::uint8_t* headers, int count, SfdpParameterHeader* found)
{
    bool any = false;
    for (int i = 0; i < count; ++i) {
        const SfdpParameterHeader header = parseSfdpParameterHeader(headers + kSfdpParameterHeaderSize * i);
        // A later major version would be a table this parser does not know.
        if (header.id != kSfdpBasicTableId || header.majorVersion != 1 ||
            header.dwords < kSfdpMinimumBasicDwords)
            continue;
        if (!any || header.minorVersion > found->minorVersion) {
            *found = header;
            any = true;
        }
    }
    return any;
}

bool parseSfdpBasicTable(const std::uint8_t* table, int dwords, const SfdpParameterHeader& header,
                         SfdpInfo* info, QString* why)
{
    if (table == nullptr || dwords < kSfdpMinimumBasicDwords)
        return fail(why, SfdpText::tr("the basic flash parameter table is too short"));
    SfdpInfo out;
    out.majorVersion = header.majorVersion;
    out.minorVersion = header.minorVersion;
    out.dwords = dwords;

    const std::uint32_t first = dword(table, 0);
    out.volatileStatusBits = (first & (1u << 3)) != 0;
    out.legacyVolatileWriteEnable50 = (first & (1u << 4)) == 0;
    switch ((first >> 17) & 3) {
    case 0:
        out.addressing = SfdpAddressing::ThreeByte;
        break;
    case 1:
        out.addressing = SfdpAddressing::ThreeOrFourByte;
        break;
    case 2:
        out.addressing = SfdpAddressing::FourByte;
        break;
    default:
        out.addressing = SfdpAddressing::Reserved;
        break;
    }

    // Density in bits: the value plus one, or (top bit set) two to the power of the rest.
    const std::uint32_t density = dword(table, 1);
    if (density & 0x80000000u) {
        const std::uint32_t exponent = density & 0x7FFFFFFFu;
        if (exponent < 3 || exponent > 66)
            return fail(why, SfdpText::tr("the density 2^%1 bits cannot be right").arg(exponent));
        out.sizeBytes = std::uint64_t(1) << (exponent - 3);
    } else {
        const std::uint64_t bits = std::uint64_t(density) + 1;
        if (bits % 8 != 0)
            return fail(why, SfdpText::tr("the density of %1 bits is no whole number of bytes").arg(bits));
        out.sizeBytes = bits / 8;
    }

    // Erase types 1 to 4: a size exponent and an instruction each; an exponent of 0 is no type.
    for (int i = 0; i < 4; ++i) {
        const std::uint32_t pair = dword(table, 7 + i / 2) >> (16 * (i % 2));
        const int exponent = pair & 0xFF;
        const std::uint8_t opcode = static_cast<std::uint8_t>(pair >> 8);
        if (exponent == 0)
            continue;
        if (exponent > 31)
            return fail(why, SfdpText::tr("erase type %1 has a size of 2^%2 bytes").arg(i + 1).arg(exponent));
        out.eraseTypes[out.eraseTypeCount++] = SfdpEraseType{std::uint32_t(1) << exponent, opcode};
    }
    std::stable_sort(out.eraseTypes, out.eraseTypes + out.eraseTypeCount,
                     [](const SfdpEraseType& a, const SfdpEraseType& b) { return a.size < b.size; });
    // The first revision may list no types and give the 4 KiB erase in its first word only.
    if (out.eraseTypeCount == 0 && (first & 3) == 1)
        out.eraseTypes[out.eraseTypeCount++] = SfdpEraseType{0x1000, static_cast<std::uint8_t>(first >> 8)};

    if (dwords >= 11) {
        const int exponent = (dword(table, 10) >> 4) & 0xF;
        out.pageSize = std::uint32_t(1) << exponent;
        out.pageSizeGiven = true;
    }
    if (dwords >= 15)
        out.quadEnableRequirement = (dword(table, 14) >> 20) & 7;
    if (dwords >= 16)
        out.statusRegister1Write = static_cast<std::uint8_t>(dword(table, 15) & 0x7F);
    *info = out;
    return true;
}

} // namespace korvane
