#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct UCollator;

namespace tallyfox {

// How a collation compares the digits in names.
enum class DigitOrder
{
    // One character at a time, as the lists are ordered: img10.jpg before img2.jpg.
    ByCharacter,
    // A run of digits by the value of the number it writes: img2.jpg before img10.jpg. Leading zeros
    // do not count (img02 and img2 differ only in their bytes).
    ByValue,
};

// The order of the file and folder lists: the collation of a locale, ignoring case, digits compared one
// character at a time (img10.jpg before img2.jpg). Names that collate alike are ordered by their bytes,
// so the order is total and the same on every listing. Names are UTF-8 bytes; one that is not valid
// UTF-8 is collated with replacement characters in place of its stray bytes and keeps its bytes.
class NameCollator final
{
public:
    // The collation of a locale given as language and region ("ja_JP", "en_US", "de"); an empty name,
    // "C" or "POSIX" gives the common root collation, which suits every script. A locale that the
    // collation data does not know falls back to its language, then to the root.
    explicit NameCollator(std::string_view locale, DigitOrder digits = DigitOrder::ByCharacter);
    ~NameCollator();
    NameCollator(const NameCollator&) = delete;
    NameCollator& operator=(const NameCollator&) = delete;

    // Negative, zero or positive as a comes before, equals or comes after b.
    int compare(std::string_view a, std::string_view b) const;

    // A key whose byte order (memcmp, shorter first on a common start) is the collation order of the
    // names, ties not yet broken.
    std::string sortKey(std::string_view name) const;

    // Puts the names in order. Computes one key per name rather than collating in every comparison.
    void sort(std::vector<std::string>& names) const;

    // The names' positions in collation order: element i is the position in `names` of the name that
    // comes i-th.
    std::vector<std::size_t> order(const std::vector<std::string>& names) const;
    // The same for `count` names, the one at position i given by `nameAt(i)`.
    std::vector<std::size_t> order(std::size_t count, const std::function<std::string_view(std::size_t)>& nameAt) const;

private:
    // Appends the name's key to `keys`, keeping the converted text in `buffer` between calls.
    void appendSortKey(std::string_view name, std::u16string& buffer, std::string& keys) const;

    UCollator* m_collator = nullptr;
};

// The collation locale named by a locale setting as the environment gives it ("ja_JP.UTF-8",
// "de_DE@euro", "C"): language and region only, empty for the C and POSIX locales.
std::string collationLocaleName(std::string_view setting);

} // namespace tallyfox
