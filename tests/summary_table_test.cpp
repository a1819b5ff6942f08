#include "summary_table.h"

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console_capture.h"
#include "test_drive.h"

namespace {

// A track that only answers what a row reads.
class RowTrack : public IITTrack {
 public:
  RowTrack(LONG number, std::optional<std::u16string> name, std::optional<std::u16string> album,
           std::optional<std::u16string> artist)
      : number_(number), name_(name), album_(album), artist_(artist) {}
  virtual ~RowTrack() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE get_TrackDatabaseID(LONG*) override { return E_FAIL; }
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* out) override { return Text(name_, out); }
  HRESULT STDMETHODCALLTYPE get_Album(BSTR* out) override { return Text(album_, out); }
  HRESULT STDMETHODCALLTYPE get_Artist(BSTR* out) override { return Text(artist_, out); }
  HRESULT STDMETHODCALLTYPE get_TrackNumber(LONG* out) override {
    *out = number_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Artwork(IITArtworkCollection**) override { return E_FAIL; }
  HRESULT STDMETHODCALLTYPE AddArtworkFromFile(BSTR, IITArtwork**) override { return E_FAIL; }

 private:
  static HRESULT Text(const std::optional<std::u16string>& text, BSTR* out) {
    *out = text ? SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text->data()),
                                    static_cast<UINT>(text->size()))
                : nullptr;
    return S_OK;
  }

  LONG number_;
  std::optional<std::u16string> name_, album_, artist_;
};

// Sends the console's and the summary's writes into one log, so their order shows; consecutive
// writes to the same sink join into one piece.
class OrderLog {
 public:
  class Sink : public std::streambuf {
   public:
    Sink(OrderLog& log, char tag) : log_(log), tag_(tag) {}

   protected:
    int overflow(int c) override {
      if (c != EOF) Add(std::string(1, static_cast<char>(c)));
      return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
      Add(std::string(s, static_cast<size_t>(n)));
      return n;
    }

   private:
    void Add(const std::string& text) {
      auto& pieces = log_.pieces;
      if (pieces.empty() || pieces.back()[0] != tag_) pieces.push_back(std::string(1, tag_));
      pieces.back() += text;
    }
    OrderLog& log_;
    char tag_;
  };

  std::vector<std::string> pieces;  // each "C..." (console) or "F..." (summary file)
};

std::string Spaces(size_t n) { return std::string(n, ' '); }

struct RowCase {
  const char* what;
  LONG number;
  std::optional<std::u16string> name, album, artist;
  std::string expected;
};

TEST(SummaryTable, RowsPadTheNameTo40AndFollowTheAlbumWith10Spaces) {
  const std::string name40(40, 'n'), name45(45, 'n');
  const RowCase cases[] = {
      {"the usual row", 7, u"Intro", u"Blue", u"Ann", "7   Intro" + Spaces(35) + "Blue" + Spaces(10) + "Ann\n"},
      {"two digits, two spaces", 12, u"Intro", u"Blue", u"Ann", "12  Intro" + Spaces(35) + "Blue" + Spaces(10) + "Ann\n"},
      {"zero", 0, u"A", u"B", u"C", "0   A" + Spaces(39) + "B" + Spaces(10) + "C\n"},
      {"negative", -5, u"A", u"B", u"C", "-5   A" + Spaces(39) + "B" + Spaces(10) + "C\n"},
      {"three digits", 100, u"A", u"B", u"C", "100  A" + Spaces(39) + "B" + Spaces(10) + "C\n"},
      {"name of 40", 1, std::u16string(40, u'n'), u"B", u"C", "1   " + name40 + "B" + Spaces(10) + "C\n"},
      {"name of 45", 1, std::u16string(45, u'n'), u"B", u"C", "1   " + name45 + "B" + Spaces(10) + "C\n"},
      {"no texts", 3, std::nullopt, std::nullopt, std::nullopt, "3   " + Spaces(40) + Spaces(10) + "\n"},
      {"e acute", 1, u"Caf\u00e9", u"B", u"C", "1   Caf\xE9" + Spaces(36) + "B" + Spaces(10) + "C\n"},
      {"U+0100 cuts the name", 1, u"ab\u0100cd", u"B", u"C", "1   ab" + Spaces(38) + "B" + Spaces(10) + "C\n"},
      {"album of 300", 1, u"A", std::u16string(300, u'b'), u"C", "1   A" + Spaces(39) + std::string(255, 'b') + Spaces(10) + "C\n"},
  };
  for (const RowCase& c : cases) {
    RowTrack track(c.number, c.name, c.album, c.artist);
    std::ostringstream console, summary;
    {
      ConsoleCapture capture(console.rdbuf());
      WriteTrackRow(summary, &track);
    }
    EXPECT_EQ(console.str(), c.expected) << c.what;
    EXPECT_EQ(summary.str(), c.expected) << c.what;
  }
  EXPECT_EQ(UnfreedStringCount(), 0);
}

TEST(SummaryTable, ConsoleGetsEachPieceBeforeTheSummaryFile) {
  OrderLog log;
  OrderLog::Sink consoleSink(log, 'C'), fileSink(log, 'F');
  std::ostream summary(&fileSink);
  RowTrack track(7, u"Intro", u"Blue", u"Ann");
  {
    ConsoleCapture capture(&consoleSink);
    WriteTableHeader(summary);
    WriteTrackRow(summary, &track);
  }
  const std::string header = "    Name" + Spaces(36) + "Album" + Spaces(12) + "Artist\n";
  ASSERT_EQ(header.size(), 67u + 1);
  const std::vector<std::string> expected = {
      "C" + header, "F" + header,
      "C7", "F7", "C   Intro", "F   Intro", "C" + Spaces(35), "F" + Spaces(35),
      "CBlue", "FBlue", "C" + Spaces(10) + "Ann\n", "F" + Spaces(10) + "Ann\n"};
  EXPECT_EQ(log.pieces, expected);
}

TEST(SummaryTable, AFailedSummaryFileStillLeavesTheConsoleRow) {
  RowTrack track(7, u"Intro", u"Blue", u"Ann");
  std::ostringstream console, summary;
  summary.setstate(std::ios::failbit);
  {
    ConsoleCapture capture(console.rdbuf());
    WriteTrackRow(summary, &track);
  }
  EXPECT_EQ(console.str(), "7   Intro" + Spaces(35) + "Blue" + Spaces(10) + "Ann\n");
  EXPECT_EQ(summary.str(), "");
}

}  // namespace
