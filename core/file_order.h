#pragma once

#include "core/file_list.h"

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tallyfox {

class NameCollator;

// The orders the file list can be put in at one stroke.
enum class FileOrder
{
    // The list's own order, as a listing gives it.
    Name,
    // The list's own order with the numbers in names compared by value: IMG_2 before IMG_10.
    NaturalName,
    // By the time each file was last modified, oldest first.
    Modified,
    // By the time each photo was taken, from its Exif data, oldest first; a file without that date by
    // the time it was last modified.
    Taken,
    // The list's current order turned round.
    Reverse,
};

// A moment as a wall clock of this machine shows it: seconds counted from 1970-01-01 00:00:00 of that
// clock, as if it were UTC, and nanoseconds. Exif dates carry no time zone, so a file's modification
// time is compared with them on the local clock.
struct LocalTime
{
    std::int64_t seconds = 0;
    std::int32_t nanoseconds = 0;

    auto operator<=>(const LocalTime&) const = default;
};

// The moment of a calendar date and a time of day; nothing for a date or time that does not exist
// (month 13, 30 February, hour 24, a year before 1 or after 9999).
std::optional<LocalTime> localTime(int year, int month, int day, int hour, int minute, int second, int nanoseconds = 0);

// An Exif date and time, "YYYY:MM:DD HH:MM:SS" (trailing blanks and NULs allowed), with the digits of
// its fraction of a second from the matching SubSecTime tag (empty when there is none; a fraction that is
// not digits counts as none). Nothing for a date that is blank, zero ("0000:00:00 00:00:00", which
// cameras write for an unknown date), malformed or impossible.
std::optional<LocalTime> parseExifDateTime(std::string_view text, std::string_view subSeconds = {});

// The times of one file that the orders by time read; nothing where it could not be read.
struct FileTimes
{
    std::optional<LocalTime> modified;
    std::optional<LocalTime> taken;
};

// The time a file is placed by in the order by date taken: the date taken, or else the modification
// time, so files without Exif data fall among the photos by the time they were last changed.
std::optional<LocalTime> takenOrModified(const FileTimes& times);

// A moment as the windows write it: "2024/05/03 10:20:30".
std::string localTimeText(const LocalTime& time);

// The times the last order by time placed the list's files by, kept to be shown beside them while the
// list stays in that order, turned round or with files moved by hand since.
struct OrderTimes
{
    // Modified or Taken; Name while the list is in no order by time (a listing, an order by name).
    FileOrder order = FileOrder::Name;
    std::unordered_map<std::string, FileTimes> byName;
};

// The times of `names` (read in their order) that an order placed them by.
OrderTimes orderTimes(FileOrder order, const NameList& names, const std::vector<FileTimes>& times);

// The time the order placed `name` by: its modification time, or the date taken; in the order by date
// taken, the modification time of a file without that date followed by "（Exif なし）". Empty where the
// order had no time for the file, and in an order that is not by time.
std::string orderTimeText(const OrderTimes& times, const std::string& name);

// A new order of a list: element i is the position, in the current order, of the entry that comes i-th.
using Reordering = std::vector<std::size_t>;

// The names in collation order (the collator decides how digits count).
Reordering orderByName(const NameList& names, const NameCollator& collator);

// The names by time, oldest first. Names of the same time keep the list's own order among themselves
// (by `collator`), and names without a time come last, in that order too, so the result depends only on
// names and times, not on the order the list was in.
Reordering
orderByTime(const NameList& names, const std::vector<std::optional<LocalTime>>& times, const NameCollator& collator);

// The current order turned round.
Reordering reverseOrder(std::size_t count);

// Puts `list` in the new order and its mirror with it, as a series of moves would: the mirror takes the
// same reordering of positions, and each keeps its selection on the entry it was on. A mirror of another
// length (the folder changed between the two listings) reorders only the positions it has: those the
// list's reordering names, in that order, and after them any beyond the list's end as they were.
// `order` must be a reordering of the list's positions.
void applyReordering(OrderedNames& list, OrderedNames& mirror, const Reordering& order);

// Moves the selected entry of `list` to position `to` one place at a time, with the mirror, as that many
// presses of the up or down button would. Does nothing, and returns false, without a selection or when
// `to` lies outside the list or is the entry's own position.
bool moveTo(OrderedNames& list, OrderedNames& mirror, int to);

} // namespace tallyfox
