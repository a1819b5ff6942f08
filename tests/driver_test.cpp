// The built program, run as a user runs it, on a scratch drive.
#include <filesystem>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "program_run.h"

namespace fs = std::filesystem;

namespace {

const std::string kFailure = "Failed to initialize iTunes Error\n";
const std::string kStartup = kStartupLines;
const std::string kHeader = "    Name" + std::string(36, ' ') + "Album" + std::string(12, ' ') +
                            "Artist\n";

// Two runs: A (art found on its second track) and B (its first track has two items).
const std::vector<TrackSpec> kTwoAlbums = {
    {1, "A", {}}, {2, "A", {"x"}}, {3, "B", {"y", "z"}}, {4, "B", {}}};
const std::map<int, std::vector<std::string>> kTwoAlbumsAfter = {
    {1, {"x"}}, {2, {"x"}}, {3, {"y"}}, {4, {"y"}}};
std::string TwoAlbumsRows() {
  std::string rows;
  for (const char* row : {"1   Track 1|A", "2   Track 2|A", "3   Track 3|B", "4   Track 4|B"}) {
    const std::string text = row;
    rows += text.substr(0, text.find('|')) + std::string(33, ' ') + text.substr(text.find('|') + 1) +
            std::string(10, ' ') + "Artist\n";
  }
  return rows;
}

TEST(Program, WithoutThePlayerSaysSoAndMakesNothing) {
  TestDrive drive;
  const ProgramRun run = RunBatch(drive);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, kFailure);
  EXPECT_EQ(run.err, "player: C:\\Player\\library.json does not exist: the player is not installed\n");
  EXPECT_FALSE(fs::exists(drive.Path("Image")));
}

TEST(Program, AnUnreadableLibraryIsReportedAndLeftAsItIs) {
  const struct {
    const char* what;
    std::string library;
  } cases[] = {
      {"not JSON", R"({"tracks": [)"},
      {"no track list", R"({"current": null})"},
      {"an id that is not a number", R"({"tracks": [{"id": "7"}]})"},
      {"an id past 32 bits", R"({"tracks": [{"id": 2147483648}]})"},
      {"a name that is not text", R"({"tracks": [{"id": 1, "name": 5}]})"},
      {"the same id twice", R"({"tracks": [{"id": 1}, {"id": 1}]})"},
      {"a current track not in the list", R"({"current": 2, "tracks": [{"id": 1}]})"},
      {"a missing image", R"({"tracks": [{"id": 1, "artwork": ["Art/none.jpg"]}]})"},
      {"a file that is no image", R"({"tracks": [{"id": 1, "artwork": ["library.json"]}]})"},
  };
  for (const auto& c : cases) {
    TestDrive drive;
    drive.Write("Player/library.json", c.library);
    const ProgramRun run = RunBatch(drive);
    EXPECT_EQ(run.status, 0) << c.what;
    EXPECT_EQ(run.out, kFailure) << c.what;
    EXPECT_EQ(run.err.rfind("player: C:\\Player\\library.json ", 0), 0u) << c.what << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.what << run.err;
    EXPECT_EQ(drive.Read("Player/library.json"), c.library) << c.what;
    EXPECT_FALSE(fs::exists(drive.Path("Image"))) << c.what;
  }
}

TEST(Program, SettlesEveryRunAndWritesTheTableToConsoleAndFile) {
  for (const bool imageFolderPresent : {false, true}) {
    SCOPED_TRACE(imageFolderPresent ? "folder left by an earlier run" : "fresh drive");
    TestDrive drive;
    drive.WriteLibrary(kTwoAlbums, 1);
    if (imageFolderPresent) {
      drive.Write("Image/ArtworkSummary.txt", std::string(5000, '#'));
      drive.Write("Image/ItunesAlbumImage.jpg", ImageBytes("stale"));
      drive.Write("Image/keep.txt", "mine");
    }
    const ProgramRun run = RunBatch(drive);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");  // also where leaked objects or strings would be reported
    EXPECT_EQ(run.out, kStartup + kHeader + TwoAlbumsRows());
    EXPECT_EQ(drive.Read("Image/ArtworkSummary.txt"), kHeader + TwoAlbumsRows());
    EXPECT_FALSE(fs::exists(drive.Path("Image/ItunesAlbumImage.jpg")));
    EXPECT_EQ(drive.Artwork(), kTwoAlbumsAfter);
    if (imageFolderPresent) {
      EXPECT_EQ(drive.Read("Image/keep.txt"), "mine");
    }
  }
}

TEST(Program, KeepsTheLibrarysOwnFieldsAndRecordsTheCurrentTrack) {
  TestDrive drive;
  drive.WriteLibrary(kTwoAlbums, 1);
  auto library = nlohmann::ordered_json::parse(*drive.Read("Player/library.json"));
  library["version"] = 3;
  library["tracks"][0]["rating"] = 5;
  library["tracks"][1]["name"] = "Caf\u00e9";
  drive.Write("Player/library.json", library.dump());
  RunBatch(drive);
  const auto after = nlohmann::ordered_json::parse(*drive.Read("Player/library.json"));
  EXPECT_EQ(after["version"], 3);
  EXPECT_EQ(after["tracks"][0]["rating"], 5);
  EXPECT_EQ(after["tracks"][1]["name"], "Caf\u00e9");
  EXPECT_EQ(after["current"], 4);
  EXPECT_EQ(after["tracks"].size(), 4u);
}

TEST(Program, ARunWhoseImageCannotBeSavedKeepsItsArtwork) {
  TestDrive drive;
  drive.WriteLibrary(kTwoAlbums, 1);
  fs::create_directories(drive.Path("Image/ItunesAlbumImage.jpg"));  // the player cannot write it
  const ProgramRun run = RunBatch(drive);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, kStartup + kHeader + TwoAlbumsRows());
  const std::map<int, std::vector<std::string>> unchanged = {
      {1, {}}, {2, {"x"}}, {3, {"y"}}, {4, {}}};
  EXPECT_EQ(drive.Artwork(), unchanged);
}

}  // namespace
