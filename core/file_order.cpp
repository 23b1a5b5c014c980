#include "core/file_order.h"

#include "core/collation.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <numeric>

namespace tallyfox {

namespace {

constexpr std::size_t kExifDateLength = 19; // "YYYY:MM:DD HH:MM:SS"

// The number written by `count` digits from `at`, or -1 when one of them is not a digit.
int digitsAt(std::string_view text, std::size_t at, std::size_t count)
{
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return -1;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// The digits of a fraction of a second as nanoseconds: "5" is 500,000,000; digits past the ninth are
// dropped. Trailing blanks and NULs end it; anything else makes it no fraction.
int fractionNanoseconds(std::string_view digits)
{
    const std::size_t end = digits.find_last_not_of(std::string_view(" \0", 2));
    digits = end == std::string_view::npos ? std::string_view() : digits.substr(0, end + 1);
    int nanoseconds = 0;
    int scale = 100000000;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return 0;
        }
        nanoseconds += (c - '0') * scale;
        scale /= 10;
    }
    return nanoseconds;
}

} // namespace

std::optional<LocalTime> localTime(int year, int month, int day, int hour, int minute, int second, int nanoseconds)
{
    using namespace std::chrono;
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0
        || minute > 59 || second < 0 || second > 59 || nanoseconds < 0 || nanoseconds > 999999999) {
        return std::nullopt;
    }
    const year_month_day date{std::chrono::year(year),
                              std::chrono::month(static_cast<unsigned>(month)),
                              std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok()) {
        return std::nullopt;
    }
    const std::int64_t days = sys_days(date).time_since_epoch().count();
    return LocalTime{.seconds = days * 86400 + hour * 3600 + minute * 60 + second, .nanoseconds = nanoseconds};
}

std::optional<LocalTime> parseExifDateTime(std::string_view text, std::string_view subSeconds)
{
    const std::size_t end = text.find_last_not_of(std::string_view(" \0", 2));
    if (end == std::string_view::npos || end + 1 != kExifDateLength) {
        return std::nullopt;
    }
    // Some programs write the date with "-" where Exif has ":"; the rest of the shape is fixed.
    const auto dateSeparator = [&text](std::size_t at) {
        return text[at] == ':' || text[at] == '-';
    };
    if (!dateSeparator(4) || !dateSeparator(7) || text[10] != ' ' || text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    return localTime(digitsAt(text, 0, 4),
                     digitsAt(text, 5, 2),
                     digitsAt(text, 8, 2),
                     digitsAt(text, 11, 2),
                     digitsAt(text, 14, 2),
                     digitsAt(text, 17, 2),
                     fractionNanoseconds(subSeconds));
}

std::optional<LocalTime> takenOrModified(const FileTimes& times)
{
    return times.taken ? times.taken : times.modified;
}

std::string localTimeText(const LocalTime& time)
{
    using namespace std::chrono;
    const sys_seconds moment{seconds(time.seconds)};
    const sys_days day = floor<days>(moment);
    const year_month_day date{day};
    const hh_mm_ss clock{moment - day};
    char text[64]; // room for any value the compiler cannot bound, so no write is ever cut
    std::snprintf(text,
                  sizeof text,
                  "%04d/%02u/%02u %02ld:%02ld:%02ld",
                  static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()),
                  static_cast<long>(clock.hours().count()),
                  static_cast<long>(clock.minutes().count()),
                  static_cast<long>(clock.seconds().count()));
    return text;
}

OrderTimes orderTimes(FileOrder order, const NameList& names, const std::vector<FileTimes>& times)
{
    OrderTimes kept{.order = order, .byName = {}};
    kept.byName.reserve(names.size());
    for (std::size_t i = 0; i < names.size() && i < times.size(); ++i) {
        kept.byName.emplace(std::string(names[i]), times[i]);
    }
    return kept;
}

std::string orderTimeText(const OrderTimes& times, const std::string& name)
{
    if (times.order != FileOrder::Modified && times.order != FileOrder::Taken) {
        return {};
    }
    const auto file = times.byName.find(name);
    if (file == times.byName.end()) {
        return {};
    }
    const FileTimes& known = file->second;
    if (times.order == FileOrder::Taken && known.taken) {
        return localTimeText(*known.taken);
    }
    if (!known.modified) {
        return {};
    }
    // Placed among the photos by the time it was last changed: the photographer sees which file that is.
    return localTimeText(*known.modified) + (times.order == FileOrder::Taken ? "（Exif なし）" : "");
}

Reordering orderByName(const NameList& names, const NameCollator& collator)
{
    return collator.order(names.size(), [&names](std::size_t i) {
        return names[i];
    });
}

Reordering
orderByTime(const NameList& names, const std::vector<std::optional<LocalTime>>& times, const NameCollator& collator)
{
    // Sorted by name first, then stably by time: names of one time, and names without one, stay in
    // name order.
    Reordering order = orderByName(names, collator);
    std::stable_sort(order.begin(), order.end(), [&times](std::size_t a, std::size_t b) {
        const std::optional<LocalTime>& timeA = times[a];
        const std::optional<LocalTime>& timeB = times[b];
        if (!timeA || !timeB) {
            return timeA.has_value() && !timeB.has_value();
        }
        return *timeA < *timeB;
    });
    return order;
}

Reordering reverseOrder(std::size_t count)
{
    Reordering order(count);
    std::iota(order.rbegin(), order.rend(), std::size_t{0});
    return order;
}

void applyReordering(OrderedNames& list, OrderedNames& mirror, const Reordering& order)
{
    // Where each old position goes, to carry the selections along.
    const auto newPosition = [](const Reordering& reordering, int old) {
        if (old < 0) {
            return -1;
        }
        const auto at = std::find(reordering.begin(), reordering.end(), static_cast<std::size_t>(old));
        return at == reordering.end() ? -1 : static_cast<int>(at - reordering.begin());
    };

    const int listSelected = list.itemIndex();
    list.reorder(order);
    list.setItemIndex(newPosition(order, listSelected));

    const auto listCount = static_cast<std::size_t>(list.count());
    const auto mirrorCount = static_cast<std::size_t>(mirror.count());
    Reordering mirrorOrder;
    mirrorOrder.reserve(mirrorCount);
    for (const std::size_t from : order) {
        if (from < mirrorCount) {
            mirrorOrder.push_back(from);
        }
    }
    for (std::size_t from = listCount; from < mirrorCount; ++from) {
        mirrorOrder.push_back(from);
    }
    const int mirrorSelected = mirror.itemIndex();
    mirror.reorder(mirrorOrder);
    mirror.setItemIndex(newPosition(mirrorOrder, mirrorSelected));
}

bool moveTo(OrderedNames& list, OrderedNames& mirror, int to)
{
    const int from = list.itemIndex();
    if (from < 0 || to < 0 || to >= list.count() || to == from) {
        return false;
    }
    for (int at = from; at != to; at += to > from ? 1 : -1) {
        if (to > from) {
            moveDown(list, mirror);
        } else {
            moveUp(list, mirror);
        }
    }
    return true;
}

} // namespace tallyfox
