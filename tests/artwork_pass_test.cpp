#include "artwork_pass.h"

#include <filesystem>
#include <iterator>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include "console_capture.h"
#include "player_objects.h"
#include "test_drive.h"

namespace {

using Calls = std::vector<std::string>;
using Artwork = std::map<int, std::vector<std::string>>;

struct PassResult {
  Calls calls;
  std::string rows;
  Artwork artwork;
};

using Failing = std::function<bool(const std::string&)>;

// Runs the pass over the stand-in player on `tracks`, with the calls that `fails` picks made to
// fail and the player going round at the end when `repeat`; releases what the pass leaves as
// the program does, and checks that every player object and string was let go, once.
PassResult RunPass(const std::vector<ModelTrack>& tracks, int current, Failing fails = {},
                   bool repeat = false) {
  PlayerHooks hooks;
  // A pass that goes on and on is stopped: past the budget every call fails.
  const size_t budget = 100 * (tracks.size() + 1);
  hooks.fails = [&hooks, budget, fails = std::move(fails)](const std::string& operation) {
    return hooks.operations.size() > budget || (fails && fails(operation));
  };
  TestDrive drive;
  drive.WriteLibrary(tracks, current, repeat);
  std::filesystem::create_directories(drive.Path("Image"));
  std::string error;
  std::shared_ptr<Library> library = Library::Load(drive.Path("Player").string(), &error);
  EXPECT_TRUE(library) << error;
  if (!library) return {};
  library->hooks = &hooks;
  IiTunes* player = nullptr;
  EXPECT_EQ(CreatePlayer(std::move(library), IID_IiTunes, reinterpret_cast<void**>(&player)), S_OK);

  BSTR imagePath = SysAllocString(L"C:\\Image\\ItunesAlbumImage.jpg");
  ArtworkPassHeld held = {nullptr, nullptr, nullptr, nullptr};
  std::ostringstream console, summary;
  {
    ConsoleCapture capture(console.rdbuf());
    ArtworkPass(player, summary, imagePath, held);
  }
  if (held.track) held.track->Release();
  if (held.searchArtworks) held.searchArtworks->Release();
  SysFreeString(imagePath);
  SysFreeString(held.runAlbum);
  SysFreeString(held.followAlbum);
  player->Release();

  EXPECT_LE(hooks.operations.size(), budget) << "the pass did not end";
  EXPECT_EQ(LiveObjectCount(), 0) << "player objects never released";
  EXPECT_EQ(hooks.misuse, Calls{});
  FreeReleasedObjects();
  EXPECT_EQ(UnfreedStringCount(), 0) << "strings never freed";
  EXPECT_EQ(console.str(), summary.str());
  return {hooks.calls, console.str(), drive.Artwork()};
}

// Makes the `nth` call of `operation` fail, or every call of it when `nth` is 0.
Failing Fail(const std::string& operation, int nth = 0) {
  auto seen = std::make_shared<int>(0);
  return [=](const std::string& called) {
    return called == operation && (nth == 0 || ++*seen == nth);
  };
}

struct PassCase {
  const char* what;
  std::vector<TrackSpec> tracks;
  int current;
  Calls calls;
  Artwork artwork;
};

TEST(ArtworkPass, GivesEachAlbumRunOneArtworkInTheOrderOfItsCalls) {
  const PassCase cases[] = {
      {"only the second of three has art",
       {{1, "A", {}}, {2, "A", {"x"}}, {3, "A", {}}}, 1,
       {"next", "previous", "save 2:1", "row 1", "add 1",
        "next", "add 2", "delete 2:1", "row 2",
        "next", "add 3", "row 3", "next"},
       {{1, {"x"}}, {2, {"x"}}, {3, {"x"}}}},
      {"the starting track has art: no moves back and forth, no add for it",
       {{1, "A", {"x"}}, {2, "A", {}}}, 1,
       {"save 1:1", "row 1", "next", "add 2", "row 2", "next"},
       {{1, {"x"}}, {2, {"x"}}}},
      {"a found track with three items keeps and passes on its first",
       {{1, "A", {}}, {2, "A", {"p", "q", "r"}}}, 1,
       {"next", "delete 2:2", "delete 2:2", "previous", "save 2:1", "row 1", "add 1",
        "next", "add 2", "delete 2:1", "row 2", "next"},
       {{1, {"p"}}, {2, {"p"}}}},
      {"a follow track with two items ends with the run's one",
       {{1, "A", {"x"}}, {2, "A", {"y", "z"}}}, 1,
       {"save 1:1", "row 1", "next", "add 2", "delete 2:1", "delete 2:1", "row 2", "next"},
       {{1, {"x"}}, {2, {"x"}}}},
      {"a run's album is its first track's, even when its art is found in the next album",
       {{1, "A", {}}, {2, "B", {"x"}}, {3, "B", {}}}, 1,
       {"next", "previous", "save 2:1", "row 1", "add 1",
        "next", "save 2:1", "row 2", "next", "add 3", "row 3", "next"},
       {{1, {"x"}}, {2, {"x"}}, {3, {"x"}}}},
      {"a new album starts a new run with its own art",
       {{1, "A", {"x"}}, {2, "B", {"y"}}, {3, "B", {"z"}}}, 1,
       {"save 1:1", "row 1", "next", "save 2:1", "row 2",
        "next", "add 3", "delete 3:1", "row 3", "next"},
       {{1, {"x"}}, {2, {"y"}}, {3, {"y"}}}},
      {"the pass starts at the current track",
       {{1, "A", {"w"}}, {2, "A", {"x"}}, {3, "A", {"y"}}}, 2,
       {"save 2:1", "row 2", "next", "add 3", "delete 3:1", "row 3", "next"},
       {{1, {"w"}}, {2, {"x"}}, {3, {"x"}}}},
      {"starting on the last track, with art: one row",
       {{1, "A", {"x"}}, {2, "A", {"y"}}}, 2,
       {"save 2:1", "row 2", "next"},
       {{1, {"x"}}, {2, {"y"}}}},
      {"starting on the last track, without art: no row",
       {{1, "A", {"x"}}, {2, "A", {}}}, 2,
       {"next"},
       {{1, {"x"}}, {2, {}}}},
      {"a search that reaches the end leaves its tracks alone",
       {{1, "A", {"x"}}, {2, "B", {}}, {3, "B", {}}}, 1,
       {"save 1:1", "row 1", "next", "next", "next"},
       {{1, {"x"}}, {2, {}}, {3, {}}}},
  };
  for (const PassCase& c : cases) {
    const PassResult result = RunPass(InFull(c.tracks), c.current);
    EXPECT_EQ(result.calls, c.calls) << c.what;
    EXPECT_EQ(result.artwork, c.artwork) << c.what;
  }
}

TEST(ArtworkPass, WritesTheRowsOfTheSettledTracks) {
  const PassResult result =
      RunPass(InFull({{1, "A", {}}, {12, "A", {"x"}}, {13, std::nullopt, {}}}), 1);
  const std::string gap(10, ' ');
  EXPECT_EQ(result.rows, "1   Track 1" + std::string(33, ' ') + "A" + gap + "Artist\n" +
                         "12  Track 12" + std::string(32, ' ') + "A" + gap + "Artist\n");
}

TEST(ArtworkPass, ComparesAlbumsAsNarrowedBytes) {
  const std::string long1 = std::string(255, 'a') + "1", long2 = std::string(255, 'a') + "2";
  const struct {
    const char* what;
    std::optional<std::string> first, second;
    bool oneRun;
  } cases[] = {
      {"both empty", "", "", true},
      {"none and empty", std::nullopt, "", true},
      {"only the high byte differs (U+0141 and A)", "\xC5\x81", "A", true},
      {"they differ past the 255th byte", long1, long2, true},
      {"case", "Blue", "blue", false},
      {"a trailing space", "Blue", "Blue ", false},
  };
  for (const auto& c : cases) {
    const PassResult result = RunPass(InFull({{1, c.first, {"x"}}, {2, c.second, {"y"}}}), 1);
    const std::vector<std::string> expected = {c.oneRun ? "x" : "y"};
    EXPECT_EQ(result.artwork.at(2), expected) << c.what;
  }
}

struct FaultCase {
  const char* what;
  std::vector<TrackSpec> tracks;
  int current;
  Failing fails;
  Calls calls;
  Artwork artwork;
  bool repeat = false;
};

TEST(ArtworkPass, StopsOrKeepsArtworkWhenThePlayerFails) {
  const std::vector<TrackSpec> secondHasArt = {{1, "A", {}}, {2, "A", {"x"}}, {3, "A", {"y"}}};
  const Artwork unchanged = {{1, {}}, {2, {"x"}}, {3, {"y"}}};
  const FaultCase cases[] = {
      {"no current track", {{1, "A", {"x"}}}, 0, {}, {}, {{1, {"x"}}}},
      {"the current track cannot be had", {{1, "A", {"x"}}}, 1, Fail("current"), {},
       {{1, {"x"}}}},
      {"no track ID", {{1, "A", {"x"}}}, 1, Fail("id"), {}, {{1, {"x"}}}},
      {"a failed move ends the pass", {{1, "A", {"x"}}, {2, "A", {}}}, 1, Fail("next"),
       {"save 1:1", "row 1"}, {{1, {"x"}}, {2, {}}}},
      {"a failed step back ends the pass", secondHasArt, 1, Fail("previous"), {"next"},
       unchanged},
      {"no ID after the step back ends the pass", secondHasArt, 1, Fail("id", 3),
       {"next", "previous"}, unchanged},
      {"no count: the search cannot tell what the track has, and the pass ends",
       {{1, "A", {"x"}}, {2, "A", {"y"}}}, 1, Fail("count", 1), {}, {{1, {"x"}}, {2, {"y"}}}},
      {"no album for the run ends the pass", secondHasArt, 1, Fail("album", 1),
       {"next", "previous", "save 2:1"}, unchanged},
      {"no album for a later track ends the pass", secondHasArt, 1, Fail("album", 3),
       {"next", "previous", "save 2:1", "row 1", "add 1", "next"},
       {{1, {"x"}}, {2, {"x"}}, {3, {"y"}}}},
      {"an item that cannot be had is not deleted", {{1, "A", {"x", "y"}}}, 1,
       Fail("item", 1), {"save 1:1", "row 1", "next"}, {{1, {"x", "y"}}}},
      {"no item to save: the run keeps its art", secondHasArt, 1, Fail("item"),
       {"next", "previous", "row 1", "next", "row 2", "next", "row 3", "next"}, unchanged},
      {"a failed save: the run keeps its art", secondHasArt, 1, Fail("save"),
       {"next", "previous", "row 1", "next", "row 2", "next", "row 3", "next"}, unchanged},
      {"a track that cannot take the image keeps its own", {{1, "A", {}}, {2, "A", {"x"}}}, 1,
       Fail("add"), {"next", "previous", "save 2:1", "row 1", "next", "row 2", "next"},
       {{1, {}}, {2, {"x"}}}},
      {"a later track whose artwork cannot be read is left as it is",
       {{1, "A", {"x"}}, {2, "A", {"y"}}}, 1, Fail("artwork", 2),
       {"save 1:1", "row 1", "next", "row 2", "next"}, {{1, {"x"}}, {2, {"y"}}}},
      {"a player that goes round ends at a settled track", {{1, "A", {"x"}}, {2, "A", {}}}, 1,
       {}, {"save 1:1", "row 1", "next", "add 2", "row 2", "next"},
       {{1, {"x"}}, {2, {"x"}}}, true},
      {"going round, the search ends at a settled track",
       {{1, "A", {}}, {2, "A", {"x"}}, {3, "B", {}}}, 2, {},
       {"save 2:1", "row 2", "next", "next", "next"}, {{1, {}}, {2, {"x"}}, {3, {}}}, true},
      {"going round, a search without art ends where it began", {{1, "A", {}}, {2, "A", {}}},
       1, {}, {"next", "next"}, {{1, {}}, {2, {}}}, true},
  };
  for (const FaultCase& c : cases) {
    const PassResult result = RunPass(InFull(c.tracks), c.current, c.fails, c.repeat);
    EXPECT_EQ(result.calls, c.calls) << c.what;
    EXPECT_EQ(result.artwork, c.artwork) << c.what;
  }
}

// Random libraries against the model: album runs with empty, absent and look-alike albums (the
// same once narrowed), 0 to 3 images a track, any start, players that go round or not.
TEST(ArtworkPass, AgreesWithTheModelOnRandomLibraries) {
  const std::optional<std::string> albums[] = {
      std::nullopt, "", "A", "\u0141" /* narrows to "A" */, "B", "b", "Ba", "\u0100" /* to "" */,
      "Caf\u00e9"};
  const std::optional<std::string> names[] = {
      std::nullopt, "", "Intro", "Caf\u00e9 \U0001F3B5", std::string(45, 'n'), "x\u0100y"};
  const int32_t numbers[] = {-5, 0, 7, 9, 10, 12, 99, 100, 12345};
  std::mt19937 random(20261211);
  auto pick = [&](const auto& choices) {
    return choices[random() % std::size(choices)];
  };
  for (int library = 0; library < 300; ++library) {
    std::vector<ModelTrack> tracks;
    const int count = 1 + random() % 12;
    while (static_cast<int>(tracks.size()) < count) {
      const std::optional<std::string> album = pick(albums);
      for (int run = 1 + random() % 4; run > 0 && static_cast<int>(tracks.size()) < count; --run) {
        ModelTrack track;
        track.id = 100 + static_cast<int32_t>(tracks.size());
        track.number = pick(numbers);
        track.name = pick(names);
        track.album = album;
        track.artist = pick(names);
        for (int item = random() % 4 - (random() % 2); item > 0; --item)
          track.artwork.push_back(std::to_string(track.id) + "-" + std::to_string(item));
        tracks.push_back(track);
      }
    }
    const bool repeat = random() % 5 == 0;
    const std::optional<size_t> start =
        random() % 10 == 0 ? std::nullopt : std::optional<size_t>(random() % tracks.size());
    SCOPED_TRACE("library " + std::to_string(library));

    const ModelOutcome expected = ExpectedPass(tracks, start, repeat);
    const PassResult result =
        RunPass(tracks, start ? tracks[*start].id : 0, {}, repeat);
    Calls rowIds;
    for (const std::string& call : result.calls)
      if (call.rfind("row ", 0) == 0) rowIds.push_back(call.substr(4));
    Calls expectedRowIds;
    for (int32_t id : expected.rowIds) expectedRowIds.push_back(std::to_string(id));
    EXPECT_EQ(rowIds, expectedRowIds);
    EXPECT_EQ(result.rows, expected.rows);
    Artwork expectedArtwork;
    for (size_t i = 0; i < tracks.size(); ++i) expectedArtwork[tracks[i].id] = expected.artwork[i];
    EXPECT_EQ(result.artwork, expectedArtwork);
    if (HasFailure()) break;  // one library's report is enough to go on
  }
}

}  // namespace
