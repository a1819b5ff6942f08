// The built program, run as a user runs it, on a scratch drive.
#include <chrono>
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
    const size_t bar = text.find('|');
    rows += text.substr(0, bar) + std::string(33, ' ') + text.substr(bar + 1) +
            std::string(10, ' ') + "Artist\n";
  }
  return rows;
}

TEST(Program, WithoutThePlayerSaysSoAndMakesNothing) {
  TestDrive drive;
  const ProgramRun run = RunBatch(drive);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, kFailure);
  EXPECT_EQ(run.err,
            "player: C:\\Player\\library.json does not exist: the player is not installed\n");
  EXPECT_FALSE(fs::exists(drive.Path("Image")));
}

TEST(Program, AnUnreadableLibraryIsReportedAndLeftAsItIs) {
  const std::string longText(100000, 'x');
  const struct {
    const char* what;
    const char* says;  // in the one message on standard error
    std::string library;
    void (*prepare)(const TestDrive&);
  } cases[] = {
      {"an empty file", "is not valid JSON", "", nullptr},
      {"not JSON", "is not valid JSON", R"({"tracks": [)", nullptr},
      {"a list, not an object", "is not an object with a \"tracks\" list",
       R"([{"id": 1}])", nullptr},
      {"no track list", "is not an object with a \"tracks\" list", R"({"current": null})", nullptr},
      {"an id that is not a number", "track 1 of the list has no \"id\" that is a 32-bit integer",
       R"({"tracks": [{"id": "7"}]})", nullptr},
      {"an id past 32 bits", "has no \"id\" that is a 32-bit integer",
       R"({"tracks": [{"id": 2147483648}]})", nullptr},
      {"an id below 32 bits", "has no \"id\" that is a 32-bit integer",
       R"({"tracks": [{"id": -2147483649}]})", nullptr},
      {"a name that is not text", "has a \"name\" that is neither a string nor null",
       R"({"tracks": [{"id": 1, "name": 5}]})", nullptr},
      {"artwork that is not a list", "has an \"artwork\" that is not a list",
       R"({"tracks": [{"id": 1, "artwork": "x.jpg"}]})", nullptr},
      {"a repeat that is not true or false", "has a \"repeat\" that is neither true nor false",
       R"({"repeat": "yes", "tracks": []})", nullptr},
      {"the same id twice", "has track id 1 more than once",
       R"({"tracks": [{"id": 1}, {"id": 1}]})", nullptr},
      {"a current track not in the list", "has a \"current\" track 2 that is not in the list",
       R"({"current": 2, "tracks": [{"id": 1}]})", nullptr},
      {"a lone surrogate", "is not valid JSON",
       R"({"tracks": [{"id": 1, "name": "\ud800"}]})", nullptr},
      {"bytes that are not UTF-8", "is not valid JSON",
       "{\"tracks\": [{\"id\": 1, \"name\": \"\xC3\x28\"}]}", nullptr},
      {"lists nested 100,000 deep", "nests lists or objects more than 64 deep",
       R"({"tracks": [], "x": )" + std::string(100000, '[') + std::string(100000, ']') + "}",
       nullptr},
      {"an unterminated string of 100,000 characters", "is not valid JSON",
       R"({"tracks": [{"id": 1, "name": ")" + longText, nullptr},
      {"a missing image", "which is missing",
       R"({"tracks": [{"id": 1, "artwork": ["Art/none.jpg"]}]})", nullptr},
      {"a file that is no image", "which is not a JPEG or PNG image",
       R"({"tracks": [{"id": 1, "artwork": ["library.json"]}]})", nullptr},
      {"an image path that is a folder", "which is not a file",
       R"({"tracks": [{"id": 1, "artwork": ["Art"]}]})",
       [](const TestDrive& drive) { drive.Write("Player/Art/x.jpg", ImageBytes("x")); }},
      {"an absolute image path", "which is not inside C:\\Player",
       R"({"tracks": [{"id": 1, "artwork": ["/etc/passwd"]}]})", nullptr},
      {"an image path on a drive", "which is not inside C:\\Player",
       R"({"tracks": [{"id": 1, "artwork": ["C:\\x.jpg"]}]})", nullptr},
      {"an image path that climbs out", "which is not inside C:\\Player",
       R"({"tracks": [{"id": 1, "artwork": ["Art/../../x.jpg"]}]})",
       [](const TestDrive& drive) { drive.Write("x.jpg", ImageBytes("x")); }},
      {"an image linked from outside", "which is outside C:\\Player",
       R"({"tracks": [{"id": 1, "artwork": ["Art/link.jpg"]}]})",
       [](const TestDrive& drive) {
         drive.Write("outside.jpg", ImageBytes("x"));
         fs::create_directories(drive.Path("Player/Art"));
         fs::create_symlink(drive.Path("outside.jpg"), drive.Path("Player/Art/link.jpg"));
       }},
  };
  for (const auto& c : cases) {
    TestDrive drive;
    if (c.prepare) c.prepare(drive);
    drive.Write("Player/library.json", c.library);
    const ProgramRun run = RunBatch(drive);
    EXPECT_EQ(run.status, 0) << c.what;
    EXPECT_EQ(run.out, kFailure) << c.what;
    EXPECT_EQ(run.err.rfind("player: C:\\Player\\library.json ", 0), 0u) << c.what << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << c.what << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.what << run.err;
    EXPECT_LT(run.err.size(), 400u) << c.what;
    EXPECT_EQ(drive.Read("Player/library.json"), c.library) << c.what;
    EXPECT_FALSE(fs::exists(drive.Path("Image"))) << c.what;
  }
}

// Many image files are looked at on two threads; the message still names the first bad one.
TEST(Program, NamesTheFirstBadImageAmongMany) {
  TestDrive drive;
  nlohmann::json tracks = nlohmann::json::array();
  for (int id = 1; id <= 600; ++id) {
    const std::string path = "Art/" + std::to_string(id) + ".jpg";
    tracks.push_back({{"id", id}, {"artwork", {path}}});
    if (id != 302 && id != 401) drive.Write("Player/" + path, ImageBytes(path));
  }
  drive.Write("Player/library.json", nlohmann::json{{"tracks", tracks}}.dump());
  const ProgramRun run = RunBatch(drive);
  EXPECT_EQ(run.out, kFailure);
  EXPECT_EQ(run.err,
            "player: C:\\Player\\library.json names artwork \"Art/302.jpg\", which is missing; "
            "the player cannot start\n");
}

// Valid data a player may hold, however odd: the run is the one the rules give.
TEST(Program, HandlesLongTextsNulCharactersAndCharactersPastTheBasicPlane) {
  const std::string huge(100000, 'n');
  const std::vector<ModelTrack> tracks = {
      {1, 1, huge, huge, huge, {}},
      {2, 2, std::string("a\0b", 3), huge + "tail", "\U0001F3B5", {"x"}},
      {3, 3, "\U0001F3B5 \u00e9", "\U0001F3B5", "", {"y"}},
      {4, 4, "", "\U0001F3B5", std::nullopt, {}},
  };
  TestDrive drive;
  drive.WriteLibrary(tracks, 1);
  const ProgramRun run = RunBatch(drive);
  const ModelOutcome expected = ExpectedPass(tracks, 0, false);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, kStartup + kHeader + expected.rows);
  const std::map<int, std::vector<std::string>> artwork = {
      {1, expected.artwork[0]}, {2, expected.artwork[1]}, {3, expected.artwork[2]},
      {4, expected.artwork[3]}};
  EXPECT_EQ(drive.Artwork(), artwork);
  EXPECT_EQ(expected.rowIds, (std::vector<int32_t>{1, 2, 3, 4}));
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

TEST(Program, KeepsTheLibrarysOwnFieldsAndLayoutAndRecordsTheCurrentTrack) {
  const struct {
    const char* what;
    int indent;
    char indentChar;
  } layouts[] = {{"one line", -1, ' '}, {"no indent", 0, ' '}, {"four spaces", 4, ' '},
                 {"tabs", 1, '\t'}};
  for (const auto& layout : layouts) {
    SCOPED_TRACE(layout.what);
    TestDrive drive;
    drive.WriteLibrary(kTwoAlbums, 1);
    using Json = nlohmann::ordered_json;
    auto library = Json::parse(*drive.Read("Player/library.json"));
    library["version"] = 3;
    library["meta"] = Json::parse(R"({"a": [1, -2.5, {"b": null}], "e": {}, "f": [], "t": true})");
    library["tracks"][0]["rating"] = 5;
    library["tracks"][0]["tags"] = Json::parse(R"(["x", {"y": [1.5e300]}])");
    library["tracks"][1]["name"] = "Caf\u00e9 \"q\" \\ \n\t\u0001\u007f";
    library["tracks"][2] = Json::parse(R"({"name": "Three", "extra": {}, "artwork": ["Art/y.jpg",
        "Art/z.jpg"], "id": 3, "album": "B"})");
    drive.Write("Player/library.json", library.dump(layout.indent, layout.indentChar));
    RunBatch(drive);
    const std::string text = drive.Read("Player/library.json").value_or("");
    auto after = Json::parse(text);
    EXPECT_EQ(text, after.dump(layout.indent, layout.indentChar) + "\n");  // laid out as it was
    EXPECT_EQ(after["current"], 4);
    // Everything but the artwork and the current track is as it was, in its order.
    after["current"] = library["current"];
    for (size_t i = 0; i < 4; ++i) after["tracks"][i]["artwork"] = library["tracks"][i]["artwork"];
    EXPECT_EQ(after.dump(), library.dump());
  }
}

// Lets every user read and write everything on `drive`, as a run by another user needs.
void OpenToEveryone(const TestDrive& drive) {
  fs::permissions(drive.root, fs::perms::all);
  for (const auto& entry : fs::recursive_directory_iterator(drive.root))
    if (!entry.is_symlink()) fs::permissions(entry.path(), fs::perms::all);
}

// Takes away every user's right to write on `drive` (and in its folders).
void MakeReadOnly(const TestDrive& drive) {
  const fs::perms readOnly = fs::perms::all & ~(fs::perms::owner_write | fs::perms::group_write |
                                                 fs::perms::others_write);
  for (const auto& entry : fs::recursive_directory_iterator(drive.root))
    if (!entry.is_symlink()) fs::permissions(entry.path(), readOnly);
  fs::permissions(drive.root, readOnly);
}

TEST(Program, FileSystemFaultsLoseNothing) {
  // Without the temporary image each run keeps its artwork; the search still trims the found
  // track to its first item, as every outcome does.
  const std::map<int, std::vector<std::string>> kept = {{1, {}}, {2, {"x"}}, {3, {"y"}}, {4, {}}};
  const std::string table = kHeader + TwoAlbumsRows();
  const struct {
    const char* what;
    void (*prepare)(const TestDrive&);
    bool unprivileged;
    std::optional<std::string> summary;  // what C:\Image\ArtworkSummary.txt holds after
    bool artworkChanged;
    const char* err;
  } cases[] = {
      {"C:\\Image is a file",
       [](const TestDrive& drive) { drive.Write("Image", "mine"); }, false, std::nullopt, false,
       ""},
      {"C:\\Image cannot be made",
       [](const TestDrive& drive) {
         drive.Write("blocker", "a file");
         fs::create_directory_symlink(drive.Path("blocker/Image"), drive.Path("Image"));
       },
       false, std::nullopt, false, ""},
      {"the temporary image's path is a folder",
       [](const TestDrive& drive) {
         fs::create_directories(drive.Path("Image/ItunesAlbumImage.jpg"));
       },
       false, table, false, ""},
      {"the summary file is read-only",
       [](const TestDrive& drive) {
         drive.Write("Image/ArtworkSummary.txt", "old");
         OpenToEveryone(drive);
         fs::permissions(drive.Path("Image/ArtworkSummary.txt"), fs::perms::owner_read |
                                                                     fs::perms::group_read |
                                                                     fs::perms::others_read);
       },
       true, "old", true, ""},
      {"the drive is read-only", MakeReadOnly, true, std::nullopt, false,
       "player: C:\\Player\\library.json was not written back"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TestDrive drive;
    drive.WriteLibrary(kTwoAlbums, 1);
    const std::optional<std::string> library = drive.Read("Player/library.json");
    c.prepare(drive);
    const std::optional<std::string> imageFile = drive.Read("Image");
    RunOptions options;
    options.unprivileged = c.unprivileged;
    const ProgramRun run = RunBatch(drive, options);
    OpenToEveryone(drive);  // so that the drive can be cleared away

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kStartup + table);
    EXPECT_EQ(run.err.substr(0, std::string(c.err).size()), c.err);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), *c.err ? 1 : 0) << run.err;
    EXPECT_EQ(drive.Read("Image/ArtworkSummary.txt"), c.summary);
    EXPECT_EQ(drive.Read("Image"), imageFile);  // a file in the folder's place is left alone
    EXPECT_FALSE(fs::exists(drive.Path("Image/ItunesAlbumImage.jpg")) &&
                 !fs::is_directory(drive.Path("Image/ItunesAlbumImage.jpg")));
    if (*c.err) {  // the player could not write the library back: it is as it was
      EXPECT_EQ(drive.Read("Player/library.json"), library);
    } else {
      EXPECT_EQ(drive.Artwork(), c.artworkChanged ? kTwoAlbumsAfter : kept);
    }
  }
}

TEST(Program, AKilledRunLeavesTheLibraryAsBeforeOrAsAfter) {
  // Big enough that kills land while the library loads, during the pass and while it is
  // written back.
  std::vector<ModelTrack> tracks;
  for (int32_t id = 1; id <= 5000; ++id) {
    const int album = (id - 1) / 100;
    tracks.push_back({id, id, "Track", "Album " + std::to_string(album), "Artist",
                      id % 100 == 3 ? std::vector<std::string>{"a" + std::to_string(album)}
                                    : std::vector<std::string>{}});
  }
  TestDrive reference;
  reference.WriteLibrary(tracks, 1);
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(RunBatch(reference).err, "");
  const auto whole = std::chrono::steady_clock::now() - started;
  const std::optional<std::string> after = reference.Read("Player/library.json");

  // More kills towards the end, where the library is written back.
  for (const double share : {0.0, 0.2, 0.4, 0.6, 0.75, 0.8, 0.85, 0.9, 0.95, 1.0}) {
    TestDrive drive;
    drive.WriteLibrary(tracks, 1);
    const std::optional<std::string> before = drive.Read("Player/library.json");
    RunOptions options;
    options.killAfter = std::chrono::duration_cast<std::chrono::microseconds>(whole * share);
    RunBatch(drive, options);
    const std::optional<std::string> left = drive.Read("Player/library.json");
    EXPECT_TRUE(left == before || left == after) << "killed after " << options.killAfter->count()
                                                 << " us: the library is torn";
    // Whatever the killed run left behind does not trip the next one.
    const ProgramRun next = RunBatch(drive);
    EXPECT_EQ(next.status, 0);
    EXPECT_EQ(next.err, "");
    if (left == before) {
      EXPECT_EQ(drive.Read("Player/library.json"), after);
    }
  }
}

}  // namespace
