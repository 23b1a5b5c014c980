#include "core/collation.h"
#include "core/errors.h"
#include "core/file_list.h"
#include "core/file_mask.h"
#include "core/filter_list.h"
#include "tests/support/test_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

namespace tallyfox {
namespace {

struct MaskCase
{
    std::string name;
    std::string mask;
    std::string file;
    bool matches;
};

class FileMaskTest : public ::testing::TestWithParam<MaskCase>
{
};

TEST_P(FileMaskTest, ComparesTheWholeNameIgnoringCase)
{
    const MaskCase& row = GetParam();
    EXPECT_EQ(FileMask(row.mask).matches(row.file), row.matches) << row.mask << " / " << row.file;
}

INSTANTIATE_TEST_SUITE_P(
    FileSelection,
    FileMaskTest,
    ::testing::Values(MaskCase{"star dot star matches a name with an extension", "*.*", "photo.jpg", true},
                      MaskCase{"star dot star matches a name without a dot", "*.*", "README", true},
                      MaskCase{"an extension mask leaves out a name without a dot", "*.txt", "README", false},
                      MaskCase{"an extension mask matches ignoring case", "*.jpg", "IMG_0001.JPG", true},
                      MaskCase{"the pattern is compared with the whole name", "*.jpg", "a.jpg.bak", false},
                      MaskCase{"the pattern is compared from the start", "a*.jpg", "ba.jpg", false},
                      MaskCase{"the star may stand for nothing", "*.jpg", ".jpg", true},
                      MaskCase{"a question mark stands for one character", "img?.jpg", "img1.jpg", true},
                      MaskCase{"a question mark needs a character", "img?.jpg", "img.jpg", false},
                      MaskCase{"a question mark stands for no more than one", "img?.jpg", "img12.jpg", false},
                      MaskCase{"a question mark stands for one multibyte character", "?.jpg", "写.jpg", true},
                      MaskCase{"the second pattern of a mask is tried", "*.html;*.htm", "index.htm", true},
                      MaskCase{"no pattern of the mask matches", "*.html;*.htm", "index.php", false},
                      MaskCase{"a dotless pattern matches a name ending so", "*.jpg;*jpeg", "photojpeg", true},
                      MaskCase{"the png mask takes names ending in png", "*png", "logo-png", true},
                      MaskCase{"an empty mask matches nothing", "", "a.jpg", false},
                      MaskCase{"an empty pattern matches nothing", ";", "a", false},
                      MaskCase{"an empty pattern beside another", "*.txt;", "a.txt", true},
                      MaskCase{"case is ignored beyond ASCII", "*.ÄÖ", "name.äö", true},
                      MaskCase{"a non ASCII pattern against an ASCII name", "写*", "a.jpg", false},
                      MaskCase{"an ASCII pattern against a multibyte name", "*.jpg", "写真.JPG", true},
                      MaskCase{"a stray byte matches a star", "*.jpg", "bad\xff.jpg", true},
                      MaskCase{"a stray byte matches a question mark", "bad?.jpg", "bad\xff.jpg", true},
                      MaskCase{"a stray byte equals only itself", "bad\xfe.jpg", "bad\xff.jpg", false},
                      MaskCase{"several stars backtrack", "*a*b*c", "xxaxxbxxbxxc", true},
                      MaskCase{"several stars that cannot fit", "*a*b*c", "xxcxxbxxa", false},
                      MaskCase{"a literal star dot star inside a longer pattern", "a*.*", "abc", false}),
    TALLYFOX_ROW_NAMES);

// The order of the lists, in the root collation (the one of the C locale and of most locales for
// Latin letters).
TEST(NameCollatorTest, OrdersIgnoringCaseAndDigitByDigit)
{
    const NameCollator collator("");
    std::vector<std::string> names{"cherry.jpg", "img2.jpg", "Banana.jpg", "img10.jpg", "apple.jpg"};
    collator.sort(names);
    EXPECT_EQ(names, (std::vector<std::string>{"apple.jpg", "Banana.jpg", "cherry.jpg", "img10.jpg", "img2.jpg"}));
}

TEST(NameCollatorTest, TheExtensionTakesPartLikeAnyOtherCharacter)
{
    const NameCollator collator("");
    std::vector<std::string> names{"a.png", "a.jpg", "a.bmp", "a"};
    collator.sort(names);
    EXPECT_EQ(names, (std::vector<std::string>{"a", "a.bmp", "a.jpg", "a.png"}));
}

TEST(NameCollatorTest, NamesThatDifferOnlyInCaseGetAFixedOrder)
{
    const NameCollator collator("");
    // Both orders of the input give the same listing.
    std::vector<std::string> one{"a.JPG", "A.jpg", "a.jpg"};
    std::vector<std::string> other{"a.jpg", "a.JPG", "A.jpg"};
    collator.sort(one);
    collator.sort(other);
    EXPECT_EQ(one, other);
    EXPECT_NE(collator.compare("a.jpg", "A.jpg"), 0);
    EXPECT_EQ(collator.compare("a.jpg", "a.jpg"), 0);
}

TEST(NameCollatorTest, KeepsNamesThatAreNotUtf8AndGivesThemAPlace)
{
    const NameCollator collator("");
    const std::string stray = "caf\xe9.jpg"; // Latin-1, not UTF-8
    std::vector<std::string> names{"zeta.jpg", stray, "alpha.jpg", "caf\xe8.jpg"};
    collator.sort(names);
    ASSERT_EQ(names.size(), 4U);
    EXPECT_EQ(names.front(), "alpha.jpg");
    EXPECT_EQ(names.back(), "zeta.jpg");
    EXPECT_NE(std::find(names.begin(), names.end(), stray), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), std::string("caf\xe8.jpg")), names.end());
}

// The order is a total order that agrees with the pairwise comparison, whatever the input order:
// sorting by keys must give what comparing every pair would.
TEST(NameCollatorTest, SortAgreesWithComparisonAndIsAntisymmetric)
{
    const NameCollator collator("ja_JP");
    std::vector<std::string> names{"b.jpg",
                                   "B.jpg",
                                   "写真.jpg",
                                   "しゃしん.jpg",
                                   "シャシン.jpg",
                                   "img_1.jpg",
                                   "img-1.jpg",
                                   "ｉｍｇ.jpg",
                                   "img.jpg",
                                   "\xff\xfe.jpg",
                                   "a b.jpg",
                                   "a_b.jpg",
                                   "Ä.jpg",
                                   "a.jpg",
                                   "z.jpg",
                                   "10.jpg",
                                   "9.jpg",
                                   ""};
    std::mt19937 random(7);
    for (int round = 0; round < 5; ++round) {
        std::shuffle(names.begin(), names.end(), random);
        std::vector<std::string> sorted = names;
        collator.sort(sorted);
        for (std::size_t i = 0; i + 1 < sorted.size(); ++i) {
            EXPECT_LT(collator.compare(sorted[i], sorted[i + 1]), 0) << sorted[i] << " / " << sorted[i + 1];
            EXPECT_GT(collator.compare(sorted[i + 1], sorted[i]), 0);
        }
    }
}

struct LocaleCase
{
    std::string name;
    std::string setting;
    std::string locale;
};

class CollationLocaleTest : public ::testing::TestWithParam<LocaleCase>
{
};

TEST_P(CollationLocaleTest, TakesLanguageAndRegion)
{
    EXPECT_EQ(collationLocaleName(GetParam().setting), GetParam().locale);
}

INSTANTIATE_TEST_SUITE_P(FileSelection,
                         CollationLocaleTest,
                         ::testing::Values(LocaleCase{"encoding dropped", "ja_JP.UTF-8", "ja_JP"},
                                           LocaleCase{"modifier dropped", "de_DE@euro", "de_DE"},
                                           LocaleCase{"the C locale is the root", "C.UTF-8", ""},
                                           LocaleCase{"POSIX is the root", "POSIX", ""},
                                           LocaleCase{"language alone", "fr", "fr"}),
                         TALLYFOX_ROW_NAMES);

TEST(SelectFilesTest, ListsVisibleMatchingFilesOnceInOrder)
{
    const NameCollator collator("");
    const std::vector<FolderEntry> entries{{"b.jpg", EntryKind::File},
                                           {"photojpeg", EntryKind::File},
                                           {"A.JPEG", EntryKind::File},
                                           {".hidden.jpg", EntryKind::File},
                                           {"album.jpg", EntryKind::Folder},
                                           {"socket.jpg", EntryKind::Other},
                                           {"notes.txt", EntryKind::File}};
    // "*.jpg;*jpeg" would match A.JPEG by its second pattern only and b.jpg by its first; a name that
    // both patterns match ("x.jpg;*.jpg") is listed once.
    EXPECT_EQ(selectFiles(entries, FileMask("*.jpg;*jpeg"), collator),
              (std::vector<std::string>{"A.JPEG", "b.jpg", "photojpeg"}));
    EXPECT_EQ(selectFiles(entries, FileMask("*.jpg;*.JPG;b*"), collator), (std::vector<std::string>{"b.jpg"}));
    EXPECT_TRUE(selectFiles(entries, FileMask(""), collator).empty());
}

TEST(SelectFilesTest, FoldersAreVisibleFoldersInOrder)
{
    const NameCollator collator("");
    const std::vector<FolderEntry> entries{{"Zoo", EntryKind::Folder},
                                           {".git", EntryKind::Folder},
                                           {"apple", EntryKind::Folder},
                                           {"file", EntryKind::File},
                                           {"Beta", EntryKind::Folder}};
    EXPECT_EQ(selectFolders(entries, collator), (std::vector<std::string>{"apple", "Beta", "Zoo"}));
}

// The move buttons on two lists without a window.
struct MoveCase
{
    std::string name;
    std::vector<std::string> steps; // "up" or "down"
    int selected;
    std::vector<std::string> expected;
    int expectedSelection;
    int expectedMirrorSelection; // the mirror is selected by a move only
};

class MoveTest : public ::testing::TestWithParam<MoveCase>
{
};

TEST_P(MoveTest, SwapsInBothListsAndTheSelectionFollows)
{
    const MoveCase& row = GetParam();
    FileList list;
    list.entries = {"a", "b", "c", "d", "e"};
    FileList mirror;
    mirror.entries = list.entries;
    list.setItemIndex(row.selected);
    for (const std::string& step : row.steps) {
        if (step == "up") {
            moveUp(list, mirror);
        } else {
            moveDown(list, mirror);
        }
        EXPECT_EQ(mirror.entries, list.entries) << "after " << step;
    }
    EXPECT_EQ(list.entries, row.expected);
    EXPECT_EQ(list.itemIndex(), row.expectedSelection);
    EXPECT_EQ(mirror.itemIndex(), row.expectedMirrorSelection);
}

INSTANTIATE_TEST_SUITE_P(
    FileSelection,
    MoveTest,
    ::testing::Values(
        MoveCase{"third of five up twice comes to the top", {"up", "up"}, 2, {"c", "a", "b", "d", "e"}, 0, 0},
        MoveCase{"a third press on the top changes nothing", {"up", "up", "up"}, 2, {"c", "a", "b", "d", "e"}, 0, 0},
        MoveCase{"down on the last changes nothing", {"down"}, 4, {"a", "b", "c", "d", "e"}, 4, -1},
        MoveCase{"up on the first changes nothing", {"up"}, 0, {"a", "b", "c", "d", "e"}, 0, -1},
        MoveCase{"down moves toward the end", {"down", "down"}, 1, {"a", "c", "d", "b", "e"}, 3, 3},
        MoveCase{"without a selection nothing moves", {"up", "down"}, -1, {"a", "b", "c", "d", "e"}, -1, -1},
        MoveCase{"up then down puts it back", {"up", "down"}, 3, {"a", "b", "c", "d", "e"}, 3, 3}),
    TALLYFOX_ROW_NAMES);

TEST(MoveTest, AShorterMirrorIsLeftAloneWhereItHasNoPair)
{
    FileList list;
    list.entries = {"a", "b", "c"};
    FileList mirror;
    mirror.entries = {"a", "b"};
    list.setItemIndex(2);
    EXPECT_TRUE(moveUp(list, mirror));
    EXPECT_EQ(list.entries, (std::vector<std::string>{"a", "c", "b"}));
    EXPECT_EQ(mirror.entries, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(mirror.itemIndex(), -1);
}

// The file list, its mirror and a run hold the same names: what one of them does to its order, or a new
// listing of the list, is never seen by the others.
struct SharedNamesCase
{
    std::string name;
    std::function<void(FileList& list, FileList& mirror, NameList& run)> act;
    std::vector<std::string> list;
    std::vector<std::string> mirror;
    std::vector<std::string> run;
};

class SharedNamesTest : public ::testing::TestWithParam<SharedNamesCase>
{
};

TEST_P(SharedNamesTest, EachHolderKeepsItsOwnOrder)
{
    const SharedNamesCase& row = GetParam();
    FileList list;
    list.entries = NameList(std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg"});
    FileList mirror;
    mirror.entries = list.entries;
    NameList run = list.entries;
    row.act(list, mirror, run);
    EXPECT_EQ(list.entries, row.list);
    EXPECT_EQ(mirror.entries, row.mirror);
    EXPECT_EQ(run, row.run);
}

INSTANTIATE_TEST_SUITE_P(FileSelection,
                         SharedNamesTest,
                         ::testing::Values(SharedNamesCase{"a move in the list and its mirror is not seen by the run",
                                                           [](FileList& list, FileList& mirror, NameList&) {
                                                               list.setItemIndex(0);
                                                               moveDown(list, mirror);
                                                           },
                                                           {"b.jpg", "a.jpg", "c.jpg"},
                                                           {"b.jpg", "a.jpg", "c.jpg"},
                                                           {"a.jpg", "b.jpg", "c.jpg"}},
                                           SharedNamesCase{"two moves in a row reach the list and its mirror once each",
                                                           [](FileList& list, FileList& mirror, NameList&) {
                                                               list.setItemIndex(0);
                                                               moveDown(list, mirror);
                                                               moveDown(list, mirror);
                                                           },
                                                           {"b.jpg", "c.jpg", "a.jpg"},
                                                           {"b.jpg", "c.jpg", "a.jpg"},
                                                           {"a.jpg", "b.jpg", "c.jpg"}},
                                           SharedNamesCase{"a swap in the mirror alone leaves the list",
                                                           [](FileList&, FileList& mirror, NameList&) {
                                                               mirror.swapEntries(0, 2);
                                                           },
                                                           {"a.jpg", "b.jpg", "c.jpg"},
                                                           {"c.jpg", "b.jpg", "a.jpg"},
                                                           {"a.jpg", "b.jpg", "c.jpg"}},
                                           SharedNamesCase{
                                               "a new order of the list alone leaves the mirror and the run",
                                               [](FileList& list, FileList&, NameList&) {
                                                   list.reorder({2, 0, 1});
                                               },
                                               {"c.jpg", "a.jpg", "b.jpg"},
                                               {"a.jpg", "b.jpg", "c.jpg"},
                                               {"a.jpg", "b.jpg", "c.jpg"}},
                                           SharedNamesCase{"the run's own order leaves the list",
                                                           [](FileList&, FileList&, NameList& run) {
                                                               run.swapAt(0, 1);
                                                               run.reorder({0, 2, 1});
                                                           },
                                                           {"a.jpg", "b.jpg", "c.jpg"},
                                                           {"a.jpg", "b.jpg", "c.jpg"},
                                                           {"b.jpg", "c.jpg", "a.jpg"}},
                                           SharedNamesCase{"the run keeps its names when the lists are listed anew",
                                                           [](FileList& list, FileList& mirror, NameList&) {
                                                               list.entries = NameList{"x.jpg"};
                                                               mirror.entries = list.entries;
                                                           },
                                                           {"x.jpg"},
                                                           {"x.jpg"},
                                                           {"a.jpg", "b.jpg", "c.jpg"}}),
                         TALLYFOX_ROW_NAMES);

TEST(FilterListTest, BuiltinTextIsExactly217Characters)
{
    EXPECT_EQ(BuiltinFilterText.size(), 217U);
    EXPECT_FALSE(BuiltinFilterText.ends_with("|"));
    const std::vector<FilterEntry> entries = parseFilterList(BuiltinFilterText);
    const std::vector<FilterEntry> expected{{"All Files (*.*)", "*.*"},
                                            {"JPEG Files (*.jpg;*.jpeg)", "*.jpg;*jpeg"},
                                            {"BMP Files (*.bmp)", "*.bmp"},
                                            {"ICON Files (*.ico)", "*.ico"},
                                            {"PNG Files (*.png)", "*png"},
                                            {"GIF Files (*.gif)", "*.gif"},
                                            {"TEXT Files (*.txt)", "*.txt"},
                                            {"HTML Files (*.html;*.htm)", "*.html;*.htm"}};
    EXPECT_EQ(entries, expected);
}

TEST(FilterListTest, UserEntriesFollowInSlotOrderWithoutGaps)
{
    const std::string list = composeFilterList("", UserFilterEntry("raw"), "", UserFilterEntry("psd"));
    const std::vector<FilterEntry> entries = parseFilterList(list);
    ASSERT_EQ(entries.size(), 10U);
    EXPECT_EQ(entries[8], (FilterEntry{"ユーザー設定 (*.raw)", "*.raw"}));
    EXPECT_EQ(entries[9], (FilterEntry{"ユーザー設定 (*.psd)", "*.psd"}));
    EXPECT_EQ(UserFilterEntry(""), "");
    EXPECT_EQ(composeFilterList("", "", "", ""), BuiltinFilterText);
}

struct ParseCase
{
    std::string name;
    std::string filterList;
    std::vector<FilterEntry> entries;
};

class ParseFilterListTest : public ::testing::TestWithParam<ParseCase>
{
};

TEST_P(ParseFilterListTest, ReadsPairsOfShownTextAndMask)
{
    EXPECT_EQ(parseFilterList(GetParam().filterList), GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    FileSelection,
    ParseFilterListTest,
    ::testing::Values(ParseCase{"a last shown text without a bar is lost", "A|*.a|B", {{"A", "*.a"}}},
                      ParseCase{
                          "a last shown text with a bar gives an empty mask", "A|*.a|B|", {{"A", "*.a"}, {"B", ""}}},
                      ParseCase{"empty fields give empty texts and masks", "||", {{"", ""}}},
                      ParseCase{"nothing gives no entries", "", {}},
                      ParseCase{"text alone gives no entries", "All", {}},
                      ParseCase{"an extension typed with a dot gives two dots",
                                std::string(BuiltinFilterText.substr(0, 19)) + UserFilterEntry(".raw"),
                                {{"All Files (*.*)", "*.*"}, {"ユーザー設定 (*..raw)", "*..raw"}}},
                      ParseCase{"an extension of one blank is kept",
                                "A|*.a" + UserFilterEntry(" "),
                                {{"A", "*.a"}, {"ユーザー設定 (*. )", "*. "}}},
                      ParseCase{"a bar inside an extension shifts the pairs",
                                "A|*.a" + UserFilterEntry("x|y"),
                                {{"A", "*.a"}, {"ユーザー設定 (*.x", "y)"}, {"*.x", "y"}}}),
    TALLYFOX_ROW_NAMES);

TEST(ParseFilterListTest, NeverSplitsInsideAShiftJisCharacter)
{
    // ポ in Shift-JIS is 0x83 0x7C: its second byte is the byte of "|".
    const std::string po = "\x83\x7C";
    const std::string list = "A" + po + "B|*.x|C|*.y";
    const std::vector<FilterEntry> entries = parseFilterList(list, CodePage::ShiftJis);
    EXPECT_EQ(entries, (std::vector<FilterEntry>{{"A" + po + "B", "*.x"}, {"C", "*.y"}}));
}

TEST(FilterListTest, TakingIgnoresTheCaseOfAToZOnly)
{
    EXPECT_TRUE(sameFilterList("A|*.raw", "a|*.RAW"));
    EXPECT_FALSE(sameFilterList("A|*.raw", "A|*.raw|"));
    EXPECT_FALSE(sameFilterList("Ä|*.x", "ä|*.x"));
    // Shift-JIS: the trail byte 0x61 of one character and 0x41 of another differ, though a and A would not.
    EXPECT_FALSE(sameFilterList("\x83\x61|*.x", "\x83\x41|*.x", CodePage::ShiftJis));
    EXPECT_TRUE(sameFilterList("\x83\x61|*.X", "\x83\x61|*.x", CodePage::ShiftJis));
}

TEST(FilterChoiceTest, StartsWithItsOwnAllFilesEntry)
{
    FilterChoice choice;
    EXPECT_EQ(choice.filterList(), InitialFilterText);
    EXPECT_EQ(choice.entries(), (std::vector<FilterEntry>{{"すべてのファイル (*.*)", "*.*"}}));
}

TEST(FilterChoiceTest, AListThatDiffersOnlyInCaseIsNotTaken)
{
    FilterChoice choice;
    const std::string list = composeFilterList(UserFilterEntry("raw"), "", "", "");
    EXPECT_TRUE(choice.setFilterList(list));
    choice.setItemIndex(8);
    EXPECT_FALSE(choice.setFilterList(composeFilterList(UserFilterEntry("RAW"), "", "", "")));
    EXPECT_EQ(choice.itemIndex(), 8);
    EXPECT_EQ(choice.mask(), "*.raw");
    // A new extension is taken and selects the first entry.
    EXPECT_TRUE(choice.setFilterList(composeFilterList(UserFilterEntry("raw"), UserFilterEntry("psd"), "", "")));
    EXPECT_EQ(choice.itemIndex(), 0);
    EXPECT_EQ(choice.entries().back().text, "ユーザー設定 (*.psd)");
}

struct StartIndexCase
{
    std::string name;
    std::string filterList;
    int saved;
    int selected;
    std::string mask;
};

class StartSelectionTest : public ::testing::TestWithParam<StartIndexCase>
{
};

TEST_P(StartSelectionTest, AnIndexOutsideTheEntriesSelectsTheLast)
{
    const StartIndexCase& row = GetParam();
    FilterChoice choice;
    choice.setFilterList(row.filterList);
    choice.setItemIndex(row.saved);
    EXPECT_EQ(choice.mask(), row.mask);
    EXPECT_EQ(choice.itemIndex(), row.selected);
}

INSTANTIATE_TEST_SUITE_P(
    FileSelection,
    StartSelectionTest,
    ::testing::Values(
        StartIndexCase{"saved first entry", std::string(BuiltinFilterText), 0, 0, "*.*"},
        StartIndexCase{"saved jpeg entry", std::string(BuiltinFilterText), 1, 1, "*.jpg;*jpeg"},
        StartIndexCase{"twelve of eight selects html", std::string(BuiltinFilterText), 12, 7, "*.html;*.htm"},
        StartIndexCase{"minus one selects the last", std::string(BuiltinFilterText), -1, 7, "*.html;*.htm"},
        StartIndexCase{"the last user entry when there is one",
                       composeFilterList("", UserFilterEntry("raw"), "", ""),
                       99,
                       8,
                       "*.raw"},
        StartIndexCase{"no entries give star dot star", "nothing", 0, -1, "*.*"}),
    TALLYFOX_ROW_NAMES);

struct InOutCase
{
    std::string name;
    int number;
    std::string text;
};

class InOutErrorTest : public ::testing::TestWithParam<InOutCase>
{
};

TEST_P(InOutErrorTest, HasTheTextOfItsNumber)
{
    EXPECT_EQ(std::string(InOutError(GetParam().number).what()), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(FileSelection,
                         InOutErrorTest,
                         ::testing::Values(InOutCase{"not found", 2, "ファイルが見つかりません"},
                                           InOutCase{"invalid name", 3, "不正なファイル名です"},
                                           InOutCase{"too many open", 4, "オープンしたファイルが多すぎます"},
                                           InOutCase{"access denied", 5, "ファイルへのアクセスが拒否されました"},
                                           InOutCase{"read past the end", 100, "ファイルの末尾以降を読み込みました"},
                                           InOutCase{"disk full", 101, "ディスクがいっぱいです"},
                                           InOutCase{"not a number", 106, "入力値が数値ではありません"},
                                           InOutCase{"device not ready", 21, "I/O エラー (21)"}),
                         TALLYFOX_ROW_NAMES);

} // namespace
} // namespace tallyfox
