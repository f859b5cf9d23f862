#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "show/catalogue.h"
#include "show/test_folder.h"

namespace {

std::set<std::string> ListedSet() {
    return std::set<std::string>(g_catalogue.paths, g_catalogue.paths + g_catalogue.count);
}

void Link(const std::string& target, const std::string& link) {
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0) << link;
}

TEST(CataloguePosix, MatchesJpgWithoutCaseAndTakesJpeg) {
    TestFolder folder;
    std::set<std::string> pictures = {folder.AddFile("a.jpg"), folder.AddFile("B.JpG"),
                                      folder.AddFile("c.jpeg"), folder.AddFile("D.JPEG")};
    folder.AddFile("e.jpgx");
    folder.AddFile("f.jpe");
    folder.AddFile("jpg");
    folder.AddFile("g.png");
    BuildCatalogue(folder.Text().c_str(), 0);
    EXPECT_EQ(ListedSet(), pictures);
}

// Bytes past ASCII keep their order (UTF-8 by code point); names that only differ in case, which
// Windows cannot hold, still come in one order, upper case first.
TEST(CataloguePosix, NameOrderOfNamesWindowsCannotHold) {
    TestFolder folder;
    for (const char* name : {"\xc3\xa9t\xc3\xa9.jpg", "ab.jpg", "zz.jpg", "AB.jpg", "aB.jpg"}) {
        folder.AddFile(name);
    }
    BuildCatalogue(folder.Text().c_str(), 0);
    std::vector<std::string> expected;
    for (const char* name : {"AB.jpg", "aB.jpg", "ab.jpg", "zz.jpg", "\xc3\xa9t\xc3\xa9.jpg"}) {
        expected.push_back(folder.PathOf(name));
    }
    EXPECT_EQ(std::vector<std::string>(g_catalogue.paths, g_catalogue.paths + g_catalogue.count),
              expected);
}

// A name of the given length that sorts as its number does, half of them in upper case.
std::string Numbered(const char* prefix, int32_t number, size_t length, const char* ending) {
    char digits[16];
    snprintf(digits, sizeof digits, "%06d", number);
    std::string name = std::string(number % 2 ? "X" : "x") + prefix + digits;
    name.resize(std::max(name.size(), length - strlen(ending)), 'n');
    return name + ending;
}

// Many names for one empty file, quicker to make than as many files.
void AddNames(TestFolder* folder, const std::vector<std::string>& names) {
    std::string file = folder->AddFile("seed");
    for (const std::string& name : names) {
        ASSERT_EQ(link(file.c_str(), folder->PathOf(name).c_str()), 0) << name;
    }
    ASSERT_EQ(unlink(file.c_str()), 0);
}

// The catalogue takes the first pictures by name, in folders far larger than it, however the
// folder is read in slices: more names that are no pictures ahead of them than a slice holds,
// long names that fill the smaller slices of a folder deep below others, two subfolders.
TEST(CataloguePosix, TakesTheFirstPicturesByName) {
    struct Case {
        const char* what;
        const char* folder;  // where the pictures are, below the top
        size_t length;       // of each name
        int32_t others;      // names ahead of the pictures that are not pictures
        int32_t formats;
        int32_t before;  // pictures in a folder that comes first
    };
    const size_t longest = MaxPath - 1 - TestFolder().Text().size() - 16;
    const Case cases[] = {
        {"more names ahead than a slice holds", "", 12, 2 * MaxImages + 100, 1, 0},
        {"long names deep down", "a/b/c/d", longest - 8, 0, 0, 0},
        {"two subfolders", "b", 12, 0, 0, MaxImages / 2},
    };
    for (const Case& c : cases) {
        TestFolder top;
        std::string where = c.folder[0] ? std::string(c.folder) + "/" : "";
        top.AddFolder(where + ".");
        top.AddFolder("A");
        std::vector<std::string> expected;
        std::vector<std::string> made;
        for (int32_t i = 0; i < c.before; ++i) {
            made.push_back("A/" + Numbered("", i, c.length, ".jpg"));
            expected.push_back(top.PathOf(made.back()));
        }
        std::vector<std::string> names;
        for (int32_t i = 0; i < MaxImages - c.before + 300; ++i) {
            names.push_back(where + Numbered("p", i, c.length, i % 3 ? ".jpg" : ".JPG"));
        }
        // Made in an order of their own, so that neither creation order nor its reverse is
        // name order.
        made.insert(made.end(), names.rbegin() + names.size() / 2, names.rend());
        made.insert(made.end(), names.begin() + names.size() / 2, names.end());
        for (int32_t i = 0; i < c.others; ++i) {
            made.push_back(where + Numbered("a", i, c.length, ".txt"));
        }
        AddNames(&top, made);
        for (size_t i = 0; expected.size() < static_cast<size_t>(MaxImages); ++i) {
            expected.push_back(top.PathOf(names[i]));
        }
        BuildCatalogue(top.Text().c_str(), 1, c.formats);
        std::vector<std::string> listed(g_catalogue.paths, g_catalogue.paths + g_catalogue.count);
        EXPECT_EQ(listed.size(), expected.size()) << c.what;
        EXPECT_TRUE(listed == expected) << c.what;
    }
}

TEST(CataloguePosix, FollowsLinksToFoldersAndFiles) {
    TestFolder outside;
    outside.AddFile("far.jpg");
    TestFolder folder;
    std::string linkedFile = folder.PathOf("linked.jpg");
    Link(outside.PathOf("far.jpg"), linkedFile);
    Link(outside.Text(), folder.PathOf("elsewhere"));
    Link(outside.Text(), folder.PathOf("folder.jpg"));  // a folder, whatever its name
    Link(folder.PathOf("gone"), folder.PathOf("dangling.jpg"));

    BuildCatalogue(folder.Text().c_str(), 1);
    // Two links to one folder: whichever the search meets first lists it, once.
    std::set<std::string> listed = ListedSet();
    std::string viaName = folder.PathOf("elsewhere/far.jpg");
    std::string viaJpg = folder.PathOf("folder.jpg/far.jpg");
    EXPECT_EQ(listed.count(viaName) + listed.count(viaJpg), 1u);
    listed.erase(viaName);
    listed.erase(viaJpg);
    EXPECT_EQ(listed, (std::set<std::string>{linkedFile, folder.PathOf("dangling.jpg")}));
}

// Folders reached again through links are scanned once per build, so every picture comes once
// per pass, in the order a plain tree would give.
TEST(CataloguePosix, EachFolderOncePerBuild) {
    struct Case {
        const char* what;
        std::vector<std::pair<const char*, const char*>> links;  // name, target
        std::vector<const char*> expected;
    };
    const Case cases[] = {
        {"a link back to its own folder", {{"sub/loop", "."}}, {"sub/b.jpg", "a.jpg"}},
        {"two links back to the top", {{"l1", "."}, {"l2", "."}}, {"sub/b.jpg", "a.jpg"}},
        {"a link to the parent", {{"sub/up", ".."}}, {"sub/b.jpg", "a.jpg"}},
        {"a link to a folder not yet seen",
         {{"sub/far", "../../far"}},
         {"sub/far/c.jpg", "sub/b.jpg", "a.jpg"}},
    };
    for (const Case& c : cases) {
        TestFolder top;
        std::string root = top.AddFolder("root");
        top.AddFile("far/c.jpg");
        top.AddFile("root/a.jpg");
        top.AddFile("root/sub/b.jpg");
        for (const auto& link : c.links) {
            Link(link.second, top.PathOf(std::string("root/") + link.first));
        }
        BuildCatalogue(root.c_str(), 1);
        std::vector<std::string> expected;
        for (const char* name : c.expected) {
            expected.push_back(top.PathOf(std::string("root/") + name));
        }
        EXPECT_EQ(
            std::vector<std::string>(g_catalogue.paths, g_catalogue.paths + g_catalogue.count),
            expected)
            << c.what;
        // A second build starts afresh: the folders of the first are scanned again.
        BuildCatalogue(root.c_str(), 1);
        EXPECT_EQ(g_catalogue.count, static_cast<int32_t>(expected.size())) << c.what;
    }
}

TEST(CataloguePosix, LoopsOfLinksEndQuickly) {
    TestFolder folder;
    std::string top = folder.AddFile("top.jpg");
    std::string inner = folder.AddFile("a/inner.jpg");
    std::string innermost = folder.AddFile("a/b/innermost.jpg");
    // Links back to the folder itself and to every folder above, several per level: followed
    // to the path-length bound they would branch far beyond any time limit.
    for (const char* name : {"s1", "s2", "s3"}) {
        Link(".", folder.PathOf(name));
        Link("..", folder.PathOf(std::string("a/") + name));
        Link("../..", folder.PathOf(std::string("a/b/") + name));
        Link(folder.Text(), folder.PathOf(std::string("a/b/x") + name));
    }
    // Two folders that lead into each other.
    folder.AddFolder("p");
    folder.AddFolder("q");
    Link(folder.PathOf("q"), folder.PathOf("p/toq"));
    Link(folder.PathOf("p"), folder.PathOf("q/top"));
    folder.AddFile("q/inq.jpg");
    // p comes first by name: q's picture is found through p's link, and only there.
    std::string pq = folder.PathOf("p/toq/inq.jpg");

    auto start = std::chrono::steady_clock::now();
    BuildCatalogue(folder.Text().c_str(), 1);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::seconds(2));
    std::set<std::string> listed = ListedSet();
    EXPECT_TRUE(listed.count(top) && listed.count(inner) && listed.count(innermost));
    EXPECT_TRUE(listed.count(pq));
    EXPECT_LT(g_catalogue.count, 10);
}

}  // namespace
