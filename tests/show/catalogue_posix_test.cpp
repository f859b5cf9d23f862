#include <gtest/gtest.h>

#include <unistd.h>
#include <chrono>
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
