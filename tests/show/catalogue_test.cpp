#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "show/catalogue.h"
#include "show/folder_search.h"
#include "show/show_random.h"
#include "show/test_folder.h"

namespace {

std::vector<std::string> Listed() {
    return std::vector<std::string>(g_catalogue.paths, g_catalogue.paths + g_catalogue.count);
}

std::set<std::string> AsSet(const std::vector<std::string>& paths) {
    return std::set<std::string>(paths.begin(), paths.end());
}

void StartOrder(int32_t random) {
    g_catalogue.orderPosition = -1;
    AdvanceImage(random);
}

// The catalogue indexes that the next n frames show.
std::vector<int32_t> NextFrames(int32_t n, int32_t random) {
    std::vector<int32_t> shown;
    for (int32_t i = 0; i < n; ++i) {
        shown.push_back(g_catalogue.currentIndex);
        AdvanceImage(random);
    }
    return shown;
}

TEST(CatalogueScan, ListsPicturesOfTheFolderAndSubfoldersFirst) {
    TestFolder folder;
    std::string one = folder.AddFile("one.jpg");
    std::string two = folder.AddFile("TWO.JPG");
    std::string three = folder.AddFile("sub/three.jpg");
    folder.AddFile("notes.txt");
    folder.AddFile("sub/deeper/four.jpg");

    BuildCatalogue(folder.Text().c_str(), 0);
    EXPECT_EQ(AsSet(Listed()), (std::set<std::string>{one, two}));

    BuildCatalogue(folder.Text().c_str(), 1);
    std::string four = folder.PathOf("sub/deeper/four.jpg");
    ASSERT_EQ(g_catalogue.count, 4);
    // Depth first: the deepest folder's files, then sub's own, then the top folder's.
    EXPECT_EQ(Listed()[0], four);
    EXPECT_EQ(Listed()[1], three);
    EXPECT_EQ(AsSet({Listed()[2], Listed()[3]}), (std::set<std::string>{one, two}));
}

TEST(CatalogueScan, FormatsChooseJpegAloneOrEverySupportedNameInAnyCase) {
    TestFolder folder;
    std::set<std::string> jpegs;
    for (const char* name : {"one.jpg", "TWO.JPG", "three.Jpg"}) {
        jpegs.insert(folder.AddFile(name));
    }
    std::set<std::string> others;
    for (const char* name : {"a.jpeg", "b.JPE", "c.Png", "d.webp", "e.HEIC", "f.heif"}) {
        others.insert(folder.AddFile(name));
    }
    for (const char* name : {"g.txt", "h.gif", "i.jpg.bak", "jpg", "k.avif", "l.heics"}) {
        folder.AddFile(name);
    }
    folder.AddFile("m.png/n.txt");

    BuildCatalogue(folder.Text().c_str(), 0, 0);
    std::set<std::string> today = AsSet(Listed());
    // A search for "*.jpg" also finds long endings whose short names end in .JPG.
    today.erase(folder.PathOf("a.jpeg"));
    EXPECT_EQ(today, jpegs);

    BuildCatalogue(folder.Text().c_str(), 1, 1);
    std::set<std::string> every = jpegs;
    every.insert(others.begin(), others.end());
    EXPECT_EQ(AsSet(Listed()), every);
}

TEST(CatalogueScan, FoldersAreNeverFilesAndDotFoldersAreSkipped) {
    TestFolder folder;
    std::string inside = folder.AddFile("x.jpg/inside.jpg");
    folder.AddFile(".hidden/secret.jpg");
    folder.AddFile("..odd/other.jpg");
    std::string shown = folder.AddFile(".shown.jpg");

    BuildCatalogue(folder.Text().c_str(), 0);
    EXPECT_EQ(Listed(), std::vector<std::string>{shown});

    BuildCatalogue(folder.Text().c_str(), 1);
    EXPECT_EQ(Listed(), (std::vector<std::string>{inside, shown}));
}

TEST(CatalogueScan, StopsAtCapacityInSearchOrder) {
    TestFolder folder;
    for (int i = 0; i < MaxImages + 5; ++i) {
        folder.AddFile("p" + std::to_string(i) + ".jpg");
    }
    BuildCatalogue(folder.Text().c_str(), 1);
    ASSERT_EQ(g_catalogue.count, MaxImages);

    std::vector<std::string> searched;
    FolderSearch search;
    FolderEntry entry;
    ASSERT_TRUE(search.First(folder.PathOf("*.jpg").c_str(), &entry));
    do {
        searched.push_back(folder.PathOf(entry.name));
    } while (search.Next(&entry));
    ASSERT_EQ(searched.size(), static_cast<size_t>(MaxImages + 5));
    searched.resize(MaxImages);
    EXPECT_EQ(Listed(), searched);
}

// Folder order is the file system's name order on Windows (NTFS compares upper case), and the
// same on Linux, whatever order the folder itself keeps: "ab" before "a_b", "z" before "[".
TEST(CatalogueScan, FolderOrderIsNameOrderWithoutCase) {
    struct Case {
        const char* what;
        std::vector<const char*> files;  // created in this order
        int32_t subdirs;
        int32_t formats;
        std::vector<const char*> expected;
    };
    const Case cases[] = {
        {"mixed case, digits and punctuation",
         {"b.jpg", "A.jpg", "_x.jpg", "a_b.jpg", "aC.jpg", "C.JPG", "10.jpg", "9.jpg", "[q].jpg",
          "Ab.jpg"},
         0,
         0,
         {"10.jpg", "9.jpg", "A.jpg", "Ab.jpg", "aC.jpg", "a_b.jpg", "b.jpg", "C.JPG", "[q].jpg",
          "_x.jpg"}},
        {"subfolders interleaved with files, each folder in name order",
         {"m.jpg", "B/two.jpg", "a/one.jpg", "a/Z/deep.jpg", "c_d/four.jpg", "cD/three.jpg",
          "A1.jpg", "a/0.jpg"},
         1,
         0,
         {"a/Z/deep.jpg", "a/0.jpg", "a/one.jpg", "B/two.jpg", "cD/three.jpg", "c_d/four.jpg",
          "A1.jpg", "m.jpg"}},
        {"every format, one order whatever the ending",
         {"d.txt", "b.PNG", "C.jpg", "a.webp", "E.heic", "B2.jpeg"},
         0,
         1,
         {"a.webp", "b.PNG", "B2.jpeg", "C.jpg", "E.heic"}},
    };
    for (const Case& c : cases) {
        TestFolder folder;
        for (const char* name : c.files) {
            folder.AddFile(name);
        }
        BuildCatalogue(folder.Text().c_str(), c.subdirs, c.formats);
        std::vector<std::string> expected;
        for (const char* name : c.expected) {
            expected.push_back(folder.PathOf(name));
        }
        EXPECT_EQ(Listed(), expected) << c.what;
    }
}

TEST(CatalogueScan, MissingFolderGivesAnEmptyShow) {
    TestFolder folder;
    std::string file = folder.AddFile("plain.jpg");
    BuildCatalogue(folder.PathOf("missing").c_str(), 1);
    EXPECT_EQ(g_catalogue.count, 0);
    BuildCatalogue(file.c_str(), 1);  // a file, not a folder
    EXPECT_EQ(g_catalogue.count, 0);

    // What an earlier shuffled show leaves behind must not name one of its pictures.
    g_catalogue.playOrder[0] = 5;
    for (int32_t random = 0; random <= 1; ++random) {
        ShuffleOrderFrom(7);
        StartOrder(random);
        EXPECT_EQ(NextFrames(3, random), (std::vector<int32_t>{0, 0, 0}));
        EXPECT_EQ(g_catalogue.orderPosition, 0);
        EXPECT_STREQ(CurrentPath(), "");
    }
}

TEST(CatalogueScan, PassesOverPathsThatDoNotFit) {
    TestFolder folder;
    // Leaves room for "a.jpg" but not for a longer name.
    size_t nameLength = MaxPath - 1 - folder.Text().size() - 1 - 5 - 1;
    std::string deep(nameLength, 'd');
    std::string fits = folder.AddFile(deep + "/a.jpg");
    folder.AddFile(deep + "/ab.jpg");
    ASSERT_EQ(fits.size(), static_cast<size_t>(MaxPath - 1));

    BuildCatalogue(folder.Text().c_str(), 1);
    EXPECT_EQ(Listed(), std::vector<std::string>{fits});

    std::string tooLong(MaxPath + 20, 'x');
    BuildCatalogue(tooLong.c_str(), 1);
    EXPECT_EQ(g_catalogue.count, 0);
}

TEST(CatalogueOrder, InFolderOrderRepeatsEveryPass) {
    TestFolder folder;
    folder.AddFile("a.jpg");
    folder.AddFile("b.jpg");
    folder.AddFile("c.jpg");
    BuildCatalogue(folder.Text().c_str(), 0);
    ASSERT_EQ(g_catalogue.count, 3);
    StartOrder(0);
    EXPECT_EQ(NextFrames(7, 0), (std::vector<int32_t>{0, 1, 2, 0, 1, 2, 0}));
    EXPECT_STREQ(CurrentPath(), g_catalogue.paths[1]);
}

TEST(CatalogueOrder, ShuffledOrderIsOnePermutationRepeated) {
    g_catalogue.count = 0;
    for (int32_t i = 0; i < 50; ++i) {
        std::string name = "p" + std::to_string(i);
        snprintf(g_catalogue.paths[i], MaxPath, "%s", name.c_str());
        ++g_catalogue.count;
    }
    ShuffleOrderFrom(123);
    StartOrder(1);
    std::vector<int32_t> first = NextFrames(50, 1);
    std::vector<int32_t> sorted = first;
    std::sort(sorted.begin(), sorted.end());
    for (int32_t i = 0; i < 50; ++i) {
        ASSERT_EQ(sorted[i], i);
    }
    EXPECT_NE(first, sorted);
    EXPECT_EQ(NextFrames(50, 1), first);
    EXPECT_EQ(NextFrames(50, 1), first);

    // The same millisecond gives the same order.
    ShuffleOrderFrom(123);
    StartOrder(1);
    EXPECT_EQ(NextFrames(50, 1), first);

    ShuffleOrder();
    StartOrder(1);
    std::vector<int32_t> clocked = NextFrames(50, 1);
    std::sort(clocked.begin(), clocked.end());
    EXPECT_EQ(clocked, sorted);
}

TEST(CatalogueOrder, ShuffleFollowsTheExchangeRule) {
    g_catalogue.count = 4;
    ShuffleOrderFrom(0);
    // Draws 38, 7719, 21238, 2437: j = r * 3 / 32767 gives 0, 0, 1, 0.
    std::vector<int32_t> order(g_catalogue.playOrder, g_catalogue.playOrder + 4);
    EXPECT_EQ(order, (std::vector<int32_t>{3, 2, 0, 1}));

    g_catalogue.count = 1;
    ShuffleOrderFrom(999);
    StartOrder(1);
    EXPECT_EQ(NextFrames(3, 1), (std::vector<int32_t>{0, 0, 0}));
}

TEST(ShowRandomTest, FirstValuesSeededAndUnseeded) {
    ShowRandom unseeded;
    EXPECT_EQ(unseeded.Next(), 41);
    EXPECT_EQ(unseeded.Next(), 18467);
    EXPECT_EQ(unseeded.Next(), 6334);

    ShowRandom seeded;
    seeded.Seed(0);
    EXPECT_EQ(seeded.Next(), 38);
    EXPECT_EQ(seeded.Next(), 7719);
    EXPECT_EQ(seeded.Next(), 21238);
}

}  // namespace
