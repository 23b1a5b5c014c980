#include "core/journal.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>

namespace tallyfox {

namespace {

constexpr std::string_view kMagic = "TFXJRNL\n";
constexpr std::size_t kHeaderSize = kJournalHeaderBytes;
// A mark is four bytes, so a write cut short is recognised: its value, its complement and two fixed bytes.
constexpr char kMarkLead = 'M';
constexpr char kMarkEnd = '\n';

void putU32(std::string& out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
    }
}

void putU64(std::string& out, std::uint64_t value)
{
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
    }
}

// Numbers of the body take seven bits a byte, the high bit saying that more follow: a journal of many
// files is mostly short names and small numbers.
void putCount(std::string& out, std::uint64_t value)
{
    char bytes[10];
    std::size_t size = 0;
    while (value >= 0x80) {
        bytes[size++] = static_cast<char>((value & 0x7f) | 0x80);
        value >>= 7;
    }
    bytes[size++] = static_cast<char>(value);
    out.append(bytes, size);
}

// Signed numbers with the sign in the lowest bit, so that small negative numbers stay short too.
void putSigned(std::string& out, std::int64_t value)
{
    putCount(out, (static_cast<std::uint64_t>(value) << 1) ^ static_cast<std::uint64_t>(value >> 63));
}

void putText(std::string& out, std::string_view text)
{
    putCount(out, text.size());
    out.append(text);
}

// What an identity holds, in its first byte.
constexpr std::uint8_t kExists = 1;        // a file was there
constexpr std::uint8_t kContent = 2;       // its size and modification time follow
constexpr std::uint8_t kOwnDevice = 4;     // its device follows; else it is the run's folder's
constexpr std::uint8_t kBorn = 8;          // its birth time follows
constexpr std::uint8_t kIdentityBits = 15; // any other bit: not written by this program

void putIdentity(std::string& out, const FileIdentity& identity, std::uint64_t folderDevice)
{
    if (!identity.exists()) {
        out.push_back(0);
        return;
    }
    const bool ownDevice = identity.device != folderDevice;
    out.push_back(static_cast<char>(kExists | (identity.contentKnown() ? kContent : 0) | (ownDevice ? kOwnDevice : 0)
                                    | (identity.bornKnown() ? kBorn : 0)));
    if (ownDevice) {
        putCount(out, identity.device);
    }
    putCount(out, identity.inode);
    if (identity.contentKnown()) {
        putCount(out, static_cast<std::uint64_t>(identity.size));
        putSigned(out, identity.modifiedNs);
    }
    if (identity.bornKnown()) {
        putSigned(out, identity.bornNs);
    }
}

// Reads from a body whose every length is checked, so a damaged body that passed its checksum still
// cannot read past its end.
class Reader
{
public:
    explicit Reader(std::string_view bytes)
        : m_bytes(bytes)
    {
    }

    bool failed() const
    {
        return m_failed;
    }
    bool atEnd() const
    {
        return m_bytes.empty();
    }

    std::uint64_t number(int size)
    {
        if (m_bytes.size() < static_cast<std::size_t>(size)) {
            return fail();
        }
        std::uint64_t value = 0;
        for (int i = 0; i < size; ++i) {
            value |= std::uint64_t{static_cast<unsigned char>(m_bytes[static_cast<std::size_t>(i)])} << (8 * i);
        }
        m_bytes.remove_prefix(static_cast<std::size_t>(size));
        return value;
    }

    std::uint64_t count()
    {
        std::uint64_t value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (m_bytes.empty()) {
                return fail();
            }
            const auto byte = static_cast<unsigned char>(m_bytes.front());
            m_bytes.remove_prefix(1);
            value |= std::uint64_t{byte & 0x7fu} << shift;
            if ((byte & 0x80) == 0) {
                return value;
            }
        }
        return fail();
    }

    std::int64_t signedCount()
    {
        const std::uint64_t value = count();
        return static_cast<std::int64_t>((value >> 1) ^ (~(value & 1) + 1));
    }

    std::string_view text()
    {
        const std::uint64_t size = count();
        if (m_bytes.size() < size) {
            fail();
            return {};
        }
        const std::string_view value = m_bytes.substr(0, size);
        m_bytes.remove_prefix(size);
        return value;
    }

    FileIdentity identity(std::uint64_t folderDevice)
    {
        FileIdentity value;
        const auto bits = static_cast<std::uint8_t>(number(1));
        if (bits == 0) {
            return value;
        }
        if ((bits & kExists) == 0 || (bits & ~kIdentityBits) != 0) {
            fail();
            return value;
        }
        value.device = (bits & kOwnDevice) != 0 ? count() : folderDevice;
        value.inode = count();
        value.size = 0;
        value.modifiedNs = FileIdentity::kContentUnknown;
        if ((bits & kContent) != 0) {
            value.size = static_cast<std::int64_t>(count());
            value.modifiedNs = signedCount();
            if (value.size < 0 || value.modifiedNs == FileIdentity::kContentUnknown) {
                fail();
            }
        }
        if ((bits & kBorn) != 0) {
            value.bornNs = signedCount();
            if (!value.bornKnown()) {
                fail();
            }
        }
        return value;
    }

private:
    std::uint64_t fail()
    {
        m_failed = true;
        m_bytes = {};
        return 0;
    }

    std::string_view m_bytes;
    bool m_failed = false;
};

// Eight tables, so that eight bytes are folded in at a time: a journal of many files is megabytes long.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

CrcTables crcTables()
{
    CrcTables tables{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        tables[0][i] = c;
    }
    for (std::size_t t = 1; t < tables.size(); ++t) {
        for (std::size_t i = 0; i < 256; ++i) {
            const std::uint32_t previous = tables[t - 1][i];
            tables[t][i] = tables[0][previous & 0xff] ^ (previous >> 8);
        }
    }
    return tables;
}

} // namespace

void IdentityList::reserve(std::size_t count)
{
    if (m_wide) {
        m_all.reserve(count);
        return;
    }
    m_inodes.reserve(count);
    m_kinds.reserve(count);
}

void IdentityList::resize(std::size_t count)
{
    if (m_wide) {
        m_all.resize(count);
        return;
    }
    m_inodes.resize(count, 0);
    m_kinds.resize(count, 0);
    for (std::vector<std::int64_t>* column : {&m_sizes, &m_modified, &m_born}) {
        if (!column->empty()) {
            column->resize(count, 0);
        }
    }
}

bool IdentityList::fits(const FileIdentity& identity) const
{
    if (!identity.exists()) {
        const FileIdentity none;
        return identity.device == none.device && identity.inode == none.inode && identity.size == none.size
               && identity.modifiedNs == none.modifiedNs && identity.bornNs == none.bornNs
               && identity.changedNs == none.changedNs;
    }
    return (!m_hasDevice || identity.device == m_device) && identity.changedNs == FileIdentity::kAnyTime;
}

void IdentityList::widen()
{
    std::vector<FileIdentity> all;
    all.reserve(m_inodes.capacity());
    for (std::size_t i = 0; i < m_inodes.size(); ++i) {
        all.push_back((*this)[i]);
    }
    *this = IdentityList();
    m_wide = true;
    m_all = std::move(all);
}

void IdentityList::push_back(const FileIdentity& identity)
{
    resize(size() + 1);
    set(size() - 1, identity);
}

void IdentityList::set(std::size_t index, const FileIdentity& identity)
{
    if (!m_wide && !fits(identity)) {
        widen();
    }
    if (m_wide) {
        m_all[index] = identity;
        return;
    }
    if (!identity.exists()) {
        m_inodes[index] = 0;
        m_kinds[index] = 0;
        return;
    }
    if (!m_hasDevice) {
        m_hasDevice = true;
        m_device = identity.device;
    }
    std::uint8_t kind = kExists;
    m_inodes[index] = identity.inode;
    // Sizes and times are kept only once one of the list has them (an identity by its number alone is
    // recorded with size 0).
    if ((identity.contentKnown() || identity.size != 0) && m_sizes.empty()) {
        m_sizes.resize(m_inodes.size(), 0);
        m_modified.resize(m_inodes.size(), 0);
    }
    if (!m_sizes.empty()) {
        m_sizes[index] = identity.size;
        m_modified[index] = identity.modifiedNs;
    }
    kind |= identity.contentKnown() ? kContent : 0;
    if (identity.bornKnown()) {
        kind |= kBorn;
        if (m_born.empty()) {
            m_born.resize(m_inodes.size(), 0);
        }
        m_born[index] = identity.bornNs;
    }
    m_kinds[index] = kind;
}

const FileIdentity IdentityList::operator[](std::size_t index) const
{
    if (m_wide) {
        return m_all[index];
    }
    const std::uint8_t kind = m_kinds[index];
    if ((kind & kExists) == 0) {
        return {};
    }
    FileIdentity identity{
        .device = m_device,
        .inode = m_inodes[index],
        .size = m_sizes.empty() ? 0 : m_sizes[index],
        .modifiedNs = (kind & kContent) != 0 ? m_modified[index] : FileIdentity::kContentUnknown,
        .bornNs = (kind & kBorn) != 0 ? m_born[index] : FileIdentity::kBirthUnknown,
    };
    if ((kind & kContent) == 0) {
        identity.changedNs = m_unknownChangedNs;
    }
    return identity;
}

void IdentityList::changedBefore(std::int64_t ns)
{
    if (!m_wide) {
        m_unknownChangedNs = ns;
        return;
    }
    for (FileIdentity& identity : m_all) {
        if (!identity.contentKnown()) {
            identity.changedNs = ns;
        }
    }
}

Journal copyOf(const Journal& journal)
{
    Journal copy;
    copy.pid = journal.pid;
    copy.startedNs = journal.startedNs;
    copy.folder = journal.folder;
    copy.folderIdentity = journal.folderIdentity;
    copy.volume = journal.volume;
    copy.volumePath = journal.volumePath;
    copy.operation = journal.operation;
    copy.saveFolder = journal.saveFolder;
    copy.files.reserve(journal.files.size());
    for (std::size_t i = 0; i < journal.files.size(); ++i) {
        copy.add(journal.files[i], journal.identityOf(i), journal.atTargetOf(i));
    }
    copy.marks = journal.marks;
    return copy;
}

void EntryList::push_back(const JournalEntry& entry)
{
    const bool targetIsFinal = !entry.target.empty() && entry.target == entry.final;
    const std::string_view kept[] = {
        entry.old, entry.temporary, entry.final, targetIsFinal ? std::string_view() : entry.target};
    std::size_t size = 0;
    bool isLong = false;
    for (const std::string_view name : kept) {
        size += name.size();
        isLong = isLong || name.size() > kLongest;
    }
    char* at = size == 0 ? nullptr : m_names.room(size);
    Packed packed{.names = at};
    if (isLong) {
        packed.old = kLong;
        m_long.push_back(
            {.entry = m_entries.size(),
             .lengths = {kept[0].size(), kept[1].size(), kept[2].size(), targetIsFinal ? SIZE_MAX : kept[3].size()}});
    } else {
        packed.old = static_cast<std::uint16_t>(kept[0].size());
        packed.temporary = static_cast<std::uint16_t>(kept[1].size());
        packed.final = static_cast<std::uint16_t>(kept[2].size());
        packed.target = targetIsFinal ? kFinalName : static_cast<std::uint16_t>(kept[3].size());
    }
    for (const std::string_view name : kept) {
        if (!name.empty()) {
            std::memcpy(at, name.data(), name.size());
            at += name.size();
        }
    }
    m_entries.push_back(packed);
}

JournalEntry EntryList::operator[](std::size_t index) const
{
    const Packed& packed = m_entries[index];
    std::size_t lengths[4] = {packed.old,
                              packed.temporary,
                              packed.final,
                              packed.target == kFinalName ? SIZE_MAX : std::size_t{packed.target}};
    if (packed.old == kLong) {
        const auto found = std::lower_bound(m_long.begin(), m_long.end(), index, [](const Long& entry, std::size_t i) {
            return entry.entry < i;
        });
        std::copy(std::begin(found->lengths), std::end(found->lengths), lengths);
    }
    const char* at = packed.names;
    const auto next = [&](std::size_t size) {
        const std::string_view name = size == 0 ? std::string_view() : std::string_view(at, size);
        at += size;
        return name;
    };
    JournalEntry entry;
    entry.old = next(lengths[0]);
    entry.temporary = next(lengths[1]);
    entry.final = next(lengths[2]);
    entry.target = lengths[3] == SIZE_MAX ? entry.final : next(lengths[3]);
    return entry;
}

void EntryList::targetFinalNames()
{
    for (Packed& packed : m_entries) {
        if (packed.old != kLong) {
            packed.target = packed.final == 0 ? 0 : kFinalName;
        }
    }
    for (Long& entry : m_long) {
        entry.lengths[3] = entry.lengths[2] == 0 ? 0 : SIZE_MAX;
    }
}

void Journal::add(const JournalEntry& file, FileIdentity identity, FileIdentity atTarget)
{
    identities.resize(files.size());
    identities.push_back(identity);
    if (atTarget.exists() || !atTargets.empty()) {
        atTargets.resize(files.size());
        atTargets.push_back(atTarget);
    }
    files.push_back(file);
}

bool Journal::marked(JournalMark mark) const
{
    return std::find(marks.begin(), marks.end(), mark) != marks.end();
}

bool Journal::settled() const
{
    return marked(JournalMark::RunDone) || marked(JournalMark::Restored) || marked(JournalMark::Declined);
}

std::uint32_t crc32(std::string_view bytes)
{
    return crc32(bytes, 0);
}

std::uint32_t crc32(std::string_view bytes, std::uint32_t before)
{
    static const CrcTables t = crcTables();
    std::uint32_t c = before ^ 0xFFFFFFFFu;
    const auto byteAt = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i]));
    };
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        const std::uint32_t low = c ^ (byteAt(i) | byteAt(i + 1) << 8 | byteAt(i + 2) << 16 | byteAt(i + 3) << 24);
        const std::uint32_t high = byteAt(i + 4) | byteAt(i + 5) << 8 | byteAt(i + 6) << 16 | byteAt(i + 7) << 24;
        c = t[7][low & 0xff] ^ t[6][(low >> 8) & 0xff] ^ t[5][(low >> 16) & 0xff] ^ t[4][low >> 24] ^ t[3][high & 0xff]
            ^ t[2][(high >> 8) & 0xff] ^ t[1][(high >> 16) & 0xff] ^ t[0][high >> 24];
    }
    for (; i < bytes.size(); ++i) {
        c = t[0][(c ^ byteAt(i)) & 0xff] ^ (c >> 8);
    }
    return c ^ 0xFFFFFFFFu;
}

namespace {

// The body of a journal, handed on in pieces of about `pieceBytes` so that a journal of a million files
// is never held whole.
bool encodeBody(const Journal& journal, std::size_t pieceBytes, const std::function<bool(std::string_view)>& take)
{
    std::string out;
    out.reserve(pieceBytes + 4096);
    const std::uint64_t device = journal.folderIdentity.device;
    putU64(out, static_cast<std::uint64_t>(journal.pid));
    putSigned(out, journal.startedNs);
    putText(out, journal.folder);
    putIdentity(out, journal.folderIdentity, ~device);
    putText(out, journal.volume);
    putText(out, journal.volumePath);
    putCount(out, static_cast<std::uint32_t>(journal.operation));
    putText(out, journal.saveFolder);
    putCount(out, journal.files.size());
    for (std::size_t i = 0; i < journal.files.size(); ++i) {
        const JournalEntry& file = journal.files[i];
        putText(out, file.old);
        putText(out, file.temporary);
        putText(out, file.final);
        putText(out, file.target);
        putIdentity(out, journal.identityOf(i), device);
        putIdentity(out, journal.atTargetOf(i), device);
        if (out.size() >= pieceBytes) {
            if (!take(out)) {
                return false;
            }
            out.clear();
        }
    }
    return out.empty() || take(out);
}

std::string headerOf(std::uint64_t bodyLength, std::uint32_t checksum)
{
    std::string header(kMagic);
    putU32(header, kJournalVersion);
    putU64(header, bodyLength);
    putU32(header, checksum);
    return header;
}

} // namespace

bool encodeJournal(const Journal& journal, const std::function<bool(std::string_view)>& take, std::size_t pieceBytes)
{
    // The header, which comes first, holds the body's length and checksum: the body is encoded twice,
    // once to count and sum it and once to hand it on, which costs less than holding it whole.
    std::uint64_t length = 0;
    std::uint32_t checksum = 0;
    encodeBody(journal, pieceBytes, [&](std::string_view piece) {
        length += piece.size();
        checksum = crc32(piece, checksum);
        return true;
    });
    return take(headerOf(length, checksum)) && encodeBody(journal, pieceBytes, take);
}

std::string encodeJournal(const Journal& journal)
{
    std::string out;
    encodeJournal(
        journal,
        [&out](std::string_view piece) {
            out.append(piece);
            return true;
        },
        std::size_t{1} << 16);
    return out;
}

std::string encodeMark(JournalMark mark)
{
    const auto value = static_cast<char>(mark);
    return {kMarkLead, value, static_cast<char>(~value), kMarkEnd};
}

namespace {

// The journal's header: its version, the body's length and checksum. Torn where cut within it.
JournalStatus decodeHeader(std::string_view bytes, std::uint64_t& length, std::uint32_t& checksum)
{
    if (bytes.size() < kMagic.size()) {
        // A file cut within its first bytes may still be ours.
        return kMagic.starts_with(bytes) && !bytes.empty() ? JournalStatus::Torn : JournalStatus::NotAJournal;
    }
    if (!bytes.starts_with(kMagic)) {
        return JournalStatus::NotAJournal;
    }
    if (bytes.size() < kHeaderSize) {
        return JournalStatus::Torn;
    }
    Reader header(bytes.substr(kMagic.size(), kHeaderSize - kMagic.size()));
    const auto version = static_cast<std::uint32_t>(header.number(4));
    length = header.number(8);
    checksum = static_cast<std::uint32_t>(header.number(4));
    return version == kJournalVersion ? JournalStatus::Ok : JournalStatus::OtherVersion;
}

// What the run was, before its files: where, when, which operation. Gives how many files follow, or
// nothing where the head is cut or makes no sense.
std::optional<std::uint64_t> decodeHead(Reader& in, std::size_t bodySize, Journal& journal)
{
    journal.pid = static_cast<std::int64_t>(in.number(8));
    journal.startedNs = in.signedCount();
    journal.folder = in.text();
    journal.folderIdentity = in.identity(0);
    journal.volume = in.text();
    journal.volumePath = in.text();
    const std::uint64_t operation = in.count();
    journal.saveFolder = in.text();
    const std::uint64_t count = in.count();
    if (in.failed() || operation > static_cast<std::uint64_t>(FileOperation::ExtensionOnly) || count > bodySize) {
        return std::nullopt;
    }
    journal.operation = static_cast<FileOperation>(operation);
    return count;
}

} // namespace

JournalStatus decodeJournalHead(std::string_view bytes, std::uint64_t wholeSize, Journal& journal)
{
    journal = Journal{};
    std::uint64_t length = 0;
    std::uint32_t checksum = 0;
    if (const JournalStatus status = decodeHeader(bytes, length, checksum); status != JournalStatus::Ok) {
        return status;
    }
    if (wholeSize < kHeaderSize + length) {
        return JournalStatus::Torn;
    }
    Reader in(bytes.substr(kHeaderSize, std::min<std::uint64_t>(length, bytes.size() - kHeaderSize)));
    if (!decodeHead(in, static_cast<std::size_t>(length), journal)) {
        journal = Journal{};
        return JournalStatus::Torn;
    }
    return JournalStatus::Ok;
}

JournalStatus decodeJournal(std::string_view bytes, Journal& journal)
{
    journal = Journal{};
    std::uint64_t length = 0;
    std::uint32_t checksum = 0;
    if (const JournalStatus status = decodeHeader(bytes, length, checksum); status != JournalStatus::Ok) {
        return status;
    }
    bytes.remove_prefix(kHeaderSize);
    if (bytes.size() < length) {
        return JournalStatus::Torn;
    }
    const std::string_view body = bytes.substr(0, length);
    if (crc32(body) != checksum) {
        return JournalStatus::Torn;
    }
    Reader in(body);
    const std::optional<std::uint64_t> files = decodeHead(in, body.size(), journal);
    if (!files) {
        journal = Journal{};
        return JournalStatus::Torn;
    }
    const std::uint64_t count = *files;
    const std::uint64_t device = journal.folderIdentity.device;
    journal.files.reserve(count);
    journal.identities.reserve(count);
    for (std::uint64_t i = 0; i < count && !in.failed(); ++i) {
        JournalEntry file;
        file.old = in.text();
        file.temporary = in.text();
        file.final = in.text();
        file.target = in.text();
        journal.files.push_back(file);
        journal.identities.push_back(in.identity(device));
        const FileIdentity atTarget = in.identity(device);
        if (atTarget.exists() && journal.atTargets.empty()) {
            journal.atTargets.resize(journal.files.size() - 1);
            journal.atTargets.reserve(count);
        }
        if (!journal.atTargets.empty() || atTarget.exists()) {
            journal.atTargets.push_back(atTarget);
        }
    }
    if (in.failed() || !in.atEnd()) {
        journal = Journal{};
        return JournalStatus::Torn;
    }
    journal.marks = decodeMarks(bytes.substr(length));
    return JournalStatus::Ok;
}

std::optional<std::uint64_t> journalMarksOffset(std::string_view header)
{
    if (header.size() < kHeaderSize || !header.starts_with(kMagic)) {
        return std::nullopt;
    }
    Reader in(header.substr(kMagic.size(), kHeaderSize - kMagic.size()));
    const auto version = static_cast<std::uint32_t>(in.number(4));
    const std::uint64_t length = in.number(8);
    if (version != kJournalVersion || in.failed()) {
        return std::nullopt;
    }
    return kHeaderSize + length;
}

std::vector<JournalMark> decodeMarks(std::string_view afterBody)
{
    std::vector<JournalMark> marks;
    while (afterBody.size() >= 4) {
        const char value = afterBody[1];
        if (afterBody[0] != kMarkLead || afterBody[2] != static_cast<char>(~value) || afterBody[3] != kMarkEnd) {
            break;
        }
        marks.push_back(static_cast<JournalMark>(value));
        afterBody.remove_prefix(4);
    }
    return marks;
}

} // namespace tallyfox
