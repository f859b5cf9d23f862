#include <gtest/gtest.h>

#include <unistd.h>
#include <chrono>
#include <set>
#include <string>

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
    EXPECT_EQ(ListedSet(), (std::set<std::string>{folder.PathOf("elsewhere/far.jpg"),
                                                  folder.PathOf("folder.jpg/far.jpg"), linkedFile,
                                                  folder.PathOf("dangling.jpg")}));
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
    std::string pq = folder.AddFile("q/inq.jpg");

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
