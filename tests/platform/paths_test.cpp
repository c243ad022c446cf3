#include <gtest/gtest.h>

#include <algorithm>

#include "platform/clock.h"
#include "platform/paths.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using test::TempDir;

TEST(Paths, ResolvesAnyCaseAndEitherSeparator) {
    TempDir dir;
    ASSERT_TRUE(MakeDirectory(dir / "Media"));
    test::WriteText(dir / "Media/clip.mps", "x");
    EXPECT_EQ(ResolvePath("MEDIA\\CLIP.MPS", dir.Path()), dir / "Media/clip.mps");
    EXPECT_EQ(ResolvePath("media/Clip.Mps", dir.Path()), dir / "Media/clip.mps");
    EXPECT_EQ(ResolvePath(dir / "MEDIA/CLIP.MPS", "/elsewhere"), dir / "Media/clip.mps");
    // A file still to be made keeps its own case inside the real folder.
    EXPECT_EQ(ResolvePath("MEDIA/New.img", dir.Path()), dir / "Media/New.img");
    // An existing file of another case is used rather than a second one made.
    EXPECT_EQ(ResolvePath("media/CLIP.mps", dir.Path()), dir / "Media/clip.mps");
}

TEST(Paths, TheListingResolverFindsWhatResolvePathFinds) {
    TempDir dir;
    ASSERT_TRUE(MakeDirectory(dir / "Media"));
    ASSERT_TRUE(MakeDirectory(dir / "Media/Sub"));
    test::WriteText(dir / "Media/clip.mps", "x");
    test::WriteText(dir / "Media/CLIP.MPS", "y");  // two spellings: each names itself
    test::WriteText(dir / "Media/Sub/a.b", "z");
    test::WriteText(dir / "top.txt", "t");
    PathResolver resolver;
    const std::pair<std::string, bool> cases[] = {
        {"Media/clip.mps", true}, {"MEDIA/CLIP.MPS", true}, {"media/Clip.Mps", true}, {"MEDIA\\SUB\\A.B", true},
        {"Media/Sub/../clip.mps", true}, {"./top.txt", true}, {"TOP.TXT", true}, {"Media/New.img", false},
        {"NOPE/clip.mps", false}, {"Media/clip.mps/x", false}, {dir / "MEDIA/SUB/A.B", true}, {"=", false},
    };
    for (const auto& [path, exists] : cases) {
        bool found = !exists;
        EXPECT_EQ(resolver.Resolve(path, dir.Path(), &found), ResolvePath(path, dir.Path())) << path;
        EXPECT_EQ(found, exists) << path;
    }
    // Other base folders, in another case or missing, resolve as ResolvePath does.
    for (const std::string& base : {dir / "MEDIA", dir / "media/sub/", dir / "gone/", std::string("")}) {
        for (const std::string path : {"CLIP.MPS", "A.B", "../TOP.TXT", "x"}) {
            bool found = false;
            EXPECT_EQ(resolver.Resolve(path, base, &found), ResolvePath(path, base)) << base << " " << path;
            EXPECT_EQ(found, PathExists(ResolvePath(path, base))) << base << " " << path;
        }
    }
    // Listings are taken once: a file made afterwards is not seen by this resolver.
    test::WriteText(dir / "late.txt", "l");
    bool found = true;
    resolver.Resolve("late.txt", dir.Path(), &found);
    EXPECT_FALSE(found);
    EXPECT_TRUE(PathResolver().Resolve("LATE.TXT", dir.Path(), &found) == dir / "late.txt" && found);
}

TEST(Paths, SplitsLikeTheRuntimeSplitter) {
    const PathParts p = SplitPath("C:\\VIDEO\\DISC.IMG");
    EXPECT_EQ(p.drive, "C:");
    EXPECT_EQ(p.folder, "\\VIDEO\\");
    EXPECT_EQ(p.name, "DISC");
    EXPECT_EQ(p.ext, ".IMG");
    EXPECT_EQ(FolderOf("a/b/c.txt"), "a/b/");
    EXPECT_EQ(FolderOf("c.txt"), "./");
}

TEST(Paths, WildcardsIgnoreCase) {
    EXPECT_TRUE(WildcardMatch("*.CHM", "index.chm"));
    EXPECT_TRUE(WildcardMatch("*.MP*", "movie.mpg"));
    EXPECT_TRUE(WildcardMatch("*.MP*", "SOUND.MP3"));
    EXPECT_FALSE(WildcardMatch("*.MP*", "sound.wav"));
    EXPECT_TRUE(WildcardMatch("A?C", "abc"));
    EXPECT_FALSE(WildcardMatch("A?C", "abbc"));
}

TEST(Paths, FindFilesListsMatchesWithKinds) {
    TempDir dir;
    test::WriteText(dir / "index.CHM", "12345");
    ASSERT_TRUE(MakeDirectory(dir / "X.CHM"));
    test::WriteText(dir / "other.txt", "");
    auto found = FindFiles(dir.Path(), "*.chm");
    std::sort(found.begin(), found.end(), [](auto& a, auto& b) { return a.name < b.name; });
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].name, "X.CHM");
    EXPECT_TRUE(found[0].isPlainDirectory);
    EXPECT_EQ(found[1].name, "index.CHM");
    EXPECT_EQ(found[1].size, 5u);
}

TEST(Paths, UniqueFoldersAreOwnerOnlyAndRemovable) {
    TempDir dir;
    auto a = MakeUniqueDirectory(dir.Path(), "w-");
    auto b = MakeUniqueDirectory(dir.Path(), "w-");
    ASSERT_TRUE(a && b);
    EXPECT_NE(*a, *b);
    test::WriteText(*a + "/f", "x");
    EXPECT_TRUE(RemoveTree(*a));
    EXPECT_FALSE(PathExists(*a));
    EXPECT_TRUE(FreeDiskSpace(dir.Path()).has_value());
}

TEST(Clock, SourceDateEpochFixesTheClock) {
    setenv("SOURCE_DATE_EPOCH", "1772668800", 1);  // 2026-03-05 00:00:00 UTC
    const Clock clock = Clock::FromEnvironment();
    unsetenv("SOURCE_DATE_EPOCH");
    ASSERT_TRUE(clock.IsFixed());
    const CalendarTime t = clock.Local();
    EXPECT_EQ(t.year, 2026);
    EXPECT_EQ(t.month, 3);
    EXPECT_EQ(t.day, 5);
    setenv("SOURCE_DATE_EPOCH", "not-a-number", 1);
    EXPECT_FALSE(Clock::FromEnvironment().IsFixed());
    unsetenv("SOURCE_DATE_EPOCH");
}

}  // namespace
}  // namespace qorvcd
