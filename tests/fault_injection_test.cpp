// Every player call of a representative run made to fail in turn, in the built program: each
// run must end, let go of every object and string once, touch no object it was not handed,
// lose no artwork, give no track a foreign image, and clean up as a run without faults does.
#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "program_run.h"

namespace fs = std::filesystem;

namespace {

using Artwork = std::map<int, std::vector<std::string>>;

struct Representative {
  const char* what;
  std::vector<TrackSpec> tracks;
  int current;
  bool repeat;
};

const Representative kRepresentatives[] = {
    {"art on the first track, found further on, in the next album, and none at the end",
     {{1, "A", {"a1"}},
      {2, "A", {"a2", "a3"}},  // a later track with two items
      {3, "B", {}},
      {4, "B", {"b1", "b2", "b3"}},  // found with three items
      {5, "B", {}},
      {6, "C", {}},  // its art is found on the next album's first track
      {7, "D", {"d1"}},
      {8, "D", {}},
      {9, "E", {}},  // the search runs off the end
      {10, "E", {}}},
     1, false},
    {"a player that goes round at the end",
     {{1, "A", {"a1"}}, {2, "B", {}}, {3, "B", {"b1", "b2"}}, {4, "C", {"c1", "c2"}},
      {5, "C", {"c3"}}},
     2, true},
};

// The operations that hand back an object or a string, and so can also fail as a null answer.
const std::set<std::string> kAnswering = {"current", "artwork", "item", "add",
                                          "name",    "album",   "artist"};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

Artwork ByTrack(const std::vector<TrackSpec>& tracks,
                const std::vector<std::vector<std::string>>& artwork) {
  Artwork byTrack;
  for (size_t i = 0; i < tracks.size(); ++i) byTrack[tracks[i].id] = artwork[i];
  return byTrack;
}

// Checks the artwork after a run against the outcomes that the answers it got allow: a track
// holds only images it had or that an outcome gives it, keeps those that it had and every
// outcome leaves it, and still has artwork if it had any.
void ExpectNothingLost(const Artwork& before, const Artwork& after,
                       const std::vector<Artwork>& outcomes) {
  for (const auto& [id, had] : before) {
    const std::vector<std::string>& has = after.at(id);
    std::set<std::string> allowed(had.begin(), had.end());
    std::set<std::string> kept(had.begin(), had.end());
    for (const Artwork& outcome : outcomes) {
      const std::vector<std::string>& given = outcome.at(id);
      allowed.insert(given.begin(), given.end());
      for (auto image = kept.begin(); image != kept.end();)
        image = std::count(given.begin(), given.end(), *image) ? std::next(image)
                                                              : kept.erase(image);
    }
    for (const std::string& image : has)
      EXPECT_TRUE(allowed.count(image)) << "track " << id << " took the foreign image " << image;
    for (const std::string& image : kept)
      EXPECT_TRUE(std::count(has.begin(), has.end(), image)) << "track " << id << " lost " << image;
    if (!had.empty()) {
      EXPECT_FALSE(has.empty()) << "track " << id << " lost all its artwork";
    }
  }
}

TEST(FaultInjection, EveryCallOfARepresentativeRunFailsInTurn) {
  int calls = 0, errorRuns = 0, nullRuns = 0;
  for (const Representative& library : kRepresentatives) {
    SCOPED_TRACE(library.what);
    const std::vector<ModelTrack> tracks = InFull(library.tracks);
    const size_t start = std::find_if(tracks.begin(), tracks.end(), [&](const ModelTrack& t) {
                           return t.id == library.current;
                         }) - tracks.begin();
    const ModelOutcome intended = ExpectedPass(tracks, start, library.repeat);
    const Artwork before = ByTrack(library.tracks, ExpectedPass(tracks, {}, false).artwork);

    // The run without faults: what it should be, and its calls.
    std::vector<std::string> operations;
    {
      TestDrive drive;
      drive.WriteLibrary(tracks, library.current, library.repeat);
      const ProgramRun run = RunBatch(drive, {"PLAYER_CALL_LOG=" + drive.Path("calls").string()});
      ASSERT_EQ(run.err, "");
      ASSERT_EQ(drive.Artwork(), ByTrack(library.tracks, intended.artwork));
      operations = Lines(drive.Read("calls").value_or(""));
      ASSERT_GT(operations.size(), 50u);
    }

    calls += static_cast<int>(operations.size());
    for (size_t call = 1; call <= operations.size(); ++call) {
      const std::string& operation = operations[call - 1];
      const std::string name = operation.substr(0, operation.find(' '));
      for (const char* kind : {"error", "null"}) {
        if (kind == std::string("null") && !kAnswering.count(name)) continue;
        SCOPED_TRACE("call " + std::to_string(call) + " (" + operation + ") fails: " + kind);
        ++(kind == std::string("null") ? nullRuns : errorRuns);
        TestDrive drive;
        drive.WriteLibrary(tracks, library.current, library.repeat);
        const ProgramRun run =
            RunBatch(drive, {"PLAYER_FAULT=" + std::to_string(call) + ":" + kind,
                             "PLAYER_CALL_LOG=" + drive.Path("calls").string()});
        EXPECT_EQ(run.status, 0) << "the program crashed or did not end";
        EXPECT_EQ(run.err, "");  // where leaks, double releases and double frees are reported
        const std::string log = drive.Read("calls").value_or("");
        EXPECT_EQ(log.find("misuse"), std::string::npos) << log;
        EXPECT_FALSE(fs::exists(drive.Path("Image/ItunesAlbumImage.jpg")));
        ASSERT_EQ(run.out.rfind(kStartupLines, 0), 0u);
        EXPECT_EQ(drive.Read("Image/ArtworkSummary.txt"),
                  run.out.substr(std::string(kStartupLines).size()));

        // An album answered as empty splits the run there; the outcome follows that answer.
        std::vector<Artwork> outcomes = {ByTrack(library.tracks, intended.artwork)};
        if (name == "album" && kind == std::string("null")) {
          const int id = std::stoi(operation.substr(operation.find(' ') + 1));
          for (size_t position = 0; position < tracks.size(); ++position)
            if (tracks[position].id == id)
              for (const bool forRun : {true, false})
                outcomes.push_back(ByTrack(
                    library.tracks,
                    ExpectedPass(tracks, start, library.repeat, EmptyAlbumRead{position, forRun})
                        .artwork));
        }
        ExpectNothingLost(before, drive.Artwork(), outcomes);
        if (HasFailure()) return;  // the first failing call tells enough
      }
    }
  }
  std::cout << "[          ] " << calls << " calls failed in turn: " << errorRuns
            << " runs with an error, " << nullRuns << " with a null answer\n";
}

}  // namespace
