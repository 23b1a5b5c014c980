#include "platform/file_times.h"

#include <array>
#include <ctime>
#include <exiv2/exiv2.hpp>
#include <fcntl.h>
#include <sys/stat.h>

namespace tallyfox::platform {

namespace {

// Closes a descriptor on every way out.
class OpenFile final
{
public:
    OpenFile(Syscalls& calls, int fd)
        : m_calls(calls)
        , m_fd(fd)
    {
    }
    ~OpenFile()
    {
        if (m_fd >= 0) {
            m_calls.close(m_fd);
        }
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    int fd() const
    {
        return m_fd;
    }

private:
    Syscalls& m_calls;
    int m_fd;
};

std::optional<LocalTime> localModificationTime(const struct stat& st)
{
    struct tm local
    {
    };
    if (::localtime_r(&st.st_mtim.tv_sec, &local) == nullptr) {
        return std::nullopt;
    }
    return localTime(local.tm_year + 1900,
                     local.tm_mon + 1,
                     local.tm_mday,
                     local.tm_hour,
                     local.tm_min,
                     // A leap second shows as :60 on some clocks; it belongs to the minute it ends.
                     std::min(local.tm_sec, 59),
                     static_cast<int>(st.st_mtim.tv_nsec));
}

int openForReading(Syscalls& calls, const std::string& path)
{
    // Non-blocking, so a pipe put in the file's place is not waited on; a regular file reads as usual.
    return calls.openat(AT_FDCWD, path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
}

// The Exif tags of a date taken, best first, each with the tag of its fraction of a second.
struct DateTag
{
    const char* date;
    const char* subSeconds;
};
constexpr std::array kDateTags{
    DateTag{"Exif.Photo.DateTimeOriginal", "Exif.Photo.SubSecTimeOriginal"},
    DateTag{"Exif.Image.DateTimeOriginal", nullptr},
    DateTag{"Exif.Photo.DateTimeDigitized", "Exif.Photo.SubSecTimeDigitized"},
};

std::string exifText(const Exiv2::ExifData& exif, const char* key)
{
    if (key == nullptr) {
        return {};
    }
    const auto found = exif.findKey(Exiv2::ExifKey(key));
    return found == exif.end() ? std::string() : found->toString();
}

// Reads the Exif date of the file the descriptor is open on, through the descriptor's own path, so the
// library reads that very file even if a name in the folder now leads elsewhere.
std::optional<LocalTime> exifDateOfOpenFile(int fd)
{
    static const bool quiet = [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        return true;
    }();
    (void)quiet;
    try {
        Exiv2::BasicIo::AutoPtr io(new Exiv2::FileIo("/proc/self/fd/" + std::to_string(fd)));
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(io);
        if (image.get() == nullptr) {
            return std::nullopt;
        }
        image->readMetadata();
        const Exiv2::ExifData& exif = image->exifData();
        for (const DateTag& tag : kDateTags) {
            if (const auto date = parseExifDateTime(exifText(exif, tag.date), exifText(exif, tag.subSeconds))) {
                return date;
            }
        }
    } catch (...) {
        // Whatever the library makes of a broken block (its own errors, a refused allocation, a
        // stream error) means the file has no date that can be trusted.
    }
    return std::nullopt;
}

} // namespace

std::optional<LocalTime> dateTaken(Syscalls& calls, const std::string& path)
{
    const OpenFile file(calls, openForReading(calls, path));
    struct stat st
    {
    };
    if (file.fd() < 0 || calls.fstat(file.fd(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    return exifDateOfOpenFile(file.fd());
}

std::vector<FileTimes> readFileTimes(Syscalls& calls,
                                     const std::string& folder,
                                     const NameList& names,
                                     FileTimesWanted wanted,
                                     std::size_t longFrom,
                                     const std::function<void()>& longReading)
{
    std::vector<FileTimes> times(names.size());
    const std::string prefix = folder.ends_with('/') ? folder : folder + '/';
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i + 1 == longFrom && longReading) {
            longReading();
        }
        std::string path = prefix;
        path += names[i];
        struct stat st
        {
        };
        if (wanted == FileTimesWanted::ModifiedAndTaken) {
            const OpenFile file(calls, openForReading(calls, path));
            if (file.fd() >= 0 && calls.fstat(file.fd(), &st) == 0) {
                times[i].modified = localModificationTime(st);
                if (S_ISREG(st.st_mode)) {
                    times[i].taken = exifDateOfOpenFile(file.fd());
                }
                continue;
            }
        }
        // A file that cannot be opened (no right to read it) may still tell its modification time.
        if (calls.fstatat(AT_FDCWD, path.c_str(), &st, 0) == 0) {
            times[i].modified = localModificationTime(st);
        }
    }
    return times;
}

} // namespace tallyfox::platform
