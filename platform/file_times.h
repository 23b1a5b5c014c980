#pragma once

#include "core/file_order.h"
#include "platform/syscalls.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tallyfox::platform {

// Which times of the files an order reads.
enum class FileTimesWanted
{
    Modified,
    ModifiedAndTaken,
};

// The times of the named files of a folder, in the order of the names: the modification time on this
// machine's clock and, when asked for, the date the photo was taken from the file's Exif data (see
// dateTaken). A time that cannot be read (the file is gone or refused) is left out; nothing is thrown.
// `longReading` is called once, when the `longFrom`th file is reached, so a window can show that it is
// busy.
std::vector<FileTimes> readFileTimes(Syscalls& calls,
                                     const std::string& folder,
                                     const NameList& names,
                                     FileTimesWanted wanted,
                                     std::size_t longFrom,
                                     const std::function<void()>& longReading);

// The date the photo in a file was taken, from its Exif data (JPEG, TIFF and the camera formats built on
// it, PNG, WebP and others the Exif library reads): the original date with its fraction of a second,
// else the date it was digitized. Only a regular file is opened, and never waited on. Nothing when the
// file has no such date, or Exif data that is broken or hostile in any way the library reports; the
// library's complaints are kept quiet.
std::optional<LocalTime> dateTaken(Syscalls& calls, const std::string& path);

} // namespace tallyfox::platform
