#include "library_file.h"

#include <cstdio>
#include <limits>
#include <memory>
#include <optional>

using Json = nlohmann::ordered_json;

namespace {

// The letters of LibraryTrack::fieldOrder, with the names of their fields.
const std::pair<char, const char*> kTrackFields[] = {
    {'i', "id"}, {'n', "number"}, {'N', "name"}, {'a', "album"}, {'r', "artist"}, {'w', "artwork"}};
const char kOtherField = 'x';

char FieldLetter(const std::string& key) {
  for (const auto& [letter, name] : kTrackFields)
    if (key == name) return letter;
  return kOtherField;
}

const char* FieldName(char letter) {
  for (const auto& [known, name] : kTrackFields)
    if (letter == known) return name;
  return "";
}

// Takes the parser's events. Where a value is kept as JSON (a top-level field, a track's
// other field) its events go to a JSON tree builder; the track list is read field by field.
class Reader : public nlohmann::json_sax<Json> {
 public:
  Reader(Json& others, std::vector<LibraryTrack>& tracks) : others_(others), tracks_(tracks) {}

  std::string problem;  // what makes the document no library, once found
  bool sawTracks = false;

  bool null() override { return capture_ ? capture_->null() : Value(Json()); }
  bool boolean(bool value) override {
    return capture_ ? capture_->boolean(value) : Value(Json(value));
  }
  bool number_integer(number_integer_t value) override {
    return capture_ ? capture_->number_integer(value) : Value(Json(value));
  }
  bool number_unsigned(number_unsigned_t value) override {
    return capture_ ? capture_->number_unsigned(value) : Value(Json(value));
  }
  bool number_float(number_float_t value, const string_t& text) override {
    return capture_ ? capture_->number_float(value, text) : Value(Json(value));
  }
  bool string(string_t& value) override {
    if (capture_) return capture_->string(value);
    if (place_ == Place::kArtwork) {
      if (value.empty()) return BadArtworkItem();
      track_.artwork.push_back({std::move(value), 0});
      return true;
    }
    return Value(Json(std::move(value)));
  }
  bool binary(binary_t&) override { return Fail("holds binary data"); }

  bool start_object(std::size_t size) override {
    if (capture_) return Open() && capture_->start_object(size);
    switch (place_) {
      case Place::kDocument: place_ = Place::kTop; return true;
      case Place::kTopValue: return Capture(others_[key_]) && capture_->start_object(size);
      case Place::kTrackList:
        track_ = LibraryTrack();
        place_ = Place::kTrack;
        return true;
      case Place::kTrackValue:
        if (FieldLetter(key_) != kOtherField) return WrongField();
        return Capture(OtherField()) && capture_->start_object(size);
      default: return BadArtworkItem();
    }
  }
  bool start_array(std::size_t size) override {
    if (capture_) return Open() && capture_->start_array(size);
    switch (place_) {
      case Place::kTopValue:
        if (key_ == "tracks") {
          if (sawTracks) return Fail("has \"tracks\" more than once");
          sawTracks = true;
          others_[key_] = nullptr;
          place_ = Place::kTrackList;
          return true;
        }
        return Capture(others_[key_]) && capture_->start_array(size);
      case Place::kTrackValue: {
        const char letter = FieldLetter(key_);
        if (letter == 'w') {
          Note(letter);
          track_.artwork.clear();
          place_ = Place::kArtwork;
          return true;
        }
        if (letter != kOtherField) return WrongField();
        return Capture(OtherField()) && capture_->start_array(size);
      }
      case Place::kTrackList: return NotATrack();
      case Place::kArtwork: return BadArtworkItem();
      default: return NotALibrary();
    }
  }
  bool key(string_t& name) override {
    if (capture_) return capture_->key(name);
    key_ = std::move(name);
    place_ = place_ == Place::kTop ? Place::kTopValue : Place::kTrackValue;
    return true;
  }
  bool end_object() override {
    if (capture_) return Close(capture_->end_object());
    if (place_ == Place::kTop) {
      place_ = Place::kDone;
      return true;
    }
    // The end of a track.
    if (track_.fieldOrder.find('i') == std::string::npos)
      return Fail(Where() + " has no \"id\" that is a 32-bit integer");
    tracks_.push_back(std::move(track_));
    place_ = Place::kTrackList;
    return true;
  }
  bool end_array() override {
    if (capture_) return Close(capture_->end_array());
    place_ = place_ == Place::kArtwork ? Place::kTrack : Place::kTop;
    return true;
  }
  bool parse_error(std::size_t, const std::string&,
                   const nlohmann::detail::exception& failure) override {
    std::string reason = failure.what();
    if (reason.size() > 200) reason = reason.substr(0, 197) + "...";
    problem = "is not valid JSON: " + reason;
    return false;
  }

 private:
  enum class Place { kDocument, kTop, kTopValue, kTrackList, kTrack, kTrackValue, kArtwork, kDone };

  // A scalar where the reader stands, outside any kept value.
  bool Value(Json value) {
    switch (place_) {
      case Place::kTopValue:
        if (key_ == "tracks") return NotALibrary();
        others_[key_] = std::move(value);
        place_ = Place::kTop;
        return true;
      case Place::kTrackValue: return TrackField(std::move(value));
      case Place::kTrackList: return NotATrack();
      case Place::kArtwork: return BadArtworkItem();
      default: return NotALibrary();
    }
  }

  bool TrackField(Json value) {
    const char letter = FieldLetter(key_);
    place_ = Place::kTrack;
    if (letter == kOtherField) {
      OtherField() = std::move(value);
      return true;
    }
    Note(letter);
    if (letter == 'i' || letter == 'n') {
      const std::optional<int32_t> number = AsInt32(value);
      if (!number) return WrongField();
      (letter == 'i' ? track_.id : track_.number) = *number;
      return true;
    }
    if (letter == 'w') return WrongField();
    std::optional<std::string>& text =
        letter == 'N' ? track_.name : letter == 'a' ? track_.album : track_.artist;
    if (value.is_null()) {
      text.reset();
    } else if (value.is_string()) {
      text = std::move(value.get_ref<std::string&>());
    } else {
      return WrongField();
    }
    return true;
  }

  // Records that the track has the field `letter`, once, in the order met.
  void Note(char letter) {
    if (track_.fieldOrder.find(letter) == std::string::npos) track_.fieldOrder += letter;
  }

  // The place of the track's other field named key_, made on first use.
  Json& OtherField() {
    for (auto& [name, value] : track_.otherFields)
      if (name == key_) return value;
    track_.fieldOrder += kOtherField;
    track_.otherFields.emplace_back(key_, Json());
    return track_.otherFields.back().second;
  }

  bool WrongField() {
    const char letter = FieldLetter(key_);
    const std::string name = FieldName(letter);
    if (letter == 'i') return Fail(Where() + " has no \"id\" that is a 32-bit integer");
    if (letter == 'n') return Fail(Where() + " has a \"number\" that is not a 32-bit integer");
    if (letter == 'w') return Fail(Where() + " has an \"artwork\" that is not a list");
    return Fail(Where() + " has a \"" + name + "\" that is neither a string nor null");
  }

  // Starts keeping the value that begins now as JSON in `target`.
  bool Capture(Json& target) {
    target = Json();
    captured_ = std::make_unique<nlohmann::detail::json_sax_dom_parser<Json>>(target, false);
    capture_ = captured_.get();
    depth_ = 0;
    return true;
  }
  bool Open() {
    ++depth_;
    return true;
  }
  bool Close(bool accepted) {
    if (depth_-- > 0) return accepted;
    capture_ = nullptr;  // the kept value is complete
    place_ = place_ == Place::kTopValue ? Place::kTop : Place::kTrack;
    return accepted;
  }

  std::string Where() const {
    return "track " + std::to_string(tracks_.size() + 1) + " of the list";
  }
  bool NotALibrary() { return Fail("is not an object with a \"tracks\" list"); }
  bool NotATrack() { return Fail(Where() + " is not an object"); }
  bool BadArtworkItem() { return Fail(Where() + " has an artwork item that is not a file path"); }
  bool Fail(const std::string& reason) {
    problem = reason;
    return false;
  }

  Json& others_;
  std::vector<LibraryTrack>& tracks_;
  Place place_ = Place::kDocument;
  std::string key_;
  LibraryTrack track_;
  std::unique_ptr<nlohmann::detail::json_sax_dom_parser<Json>> captured_;
  nlohmann::detail::json_sax_dom_parser<Json>* capture_ = nullptr;
  int depth_ = 0;  // containers open inside the kept value
};

// Writes JSON text as nlohmann's serializer does, for the parts the library writes itself.
// The text gathers in a buffer that goes to the stream a megabyte at a time.
class Writer {
 public:
  Writer(std::ostream& stream, int indent, char indentChar)
      : stream_(stream),
        serializer_(nlohmann::detail::output_adapter<char, std::string>(out_), indentChar),
        pretty_(indent >= 0), step_(indent >= 0 ? static_cast<unsigned>(indent) : 0),
        indentChar_(indentChar) {}
  ~Writer() { stream_ << out_; }

  void Document(const Json& others, const std::vector<LibraryTrack>& tracks) {
    size_t remaining = others.size();
    Open('{', remaining == 0);
    for (const auto& [name, value] : others.items()) {
      Key(name, 1);
      if (name == "tracks")
        Tracks(tracks);
      else
        serializer_.dump(value, pretty_, false, step_, step_);
      Next(--remaining == 0, 0, '}');
    }
  }

 private:
  void Tracks(const std::vector<LibraryTrack>& tracks) {
    Open('[', tracks.empty());
    for (size_t i = 0; i < tracks.size(); ++i) {
      Indent(2);
      Track(tracks[i]);
      Next(i + 1 == tracks.size(), 1, ']');
      if (out_.size() >= kChunk) {
        stream_ << out_;
        out_.clear();
      }
    }
  }

  void Track(const LibraryTrack& track) {
    const std::string& order = track.fieldOrder;
    Open('{', order.empty());
    size_t other = 0;
    for (size_t i = 0; i < order.size(); ++i) {
      const char letter = order[i];
      const bool isOther = letter == kOtherField;
      Key(isOther ? track.otherFields[other].first : FieldName(letter), 3);
      switch (letter) {
        case 'i': out_ += std::to_string(track.id); break;
        case 'n': out_ += std::to_string(track.number); break;
        case 'N': Text(track.name); break;
        case 'a': Text(track.album); break;
        case 'r': Text(track.artist); break;
        case 'w': Artwork(track.artwork); break;
        default:
          serializer_.dump(track.otherFields[other++].second, pretty_, false, step_, 3 * step_);
      }
      Next(i + 1 == order.size(), 2, '}');
    }
  }

  void Artwork(const std::vector<ArtworkItem>& artwork) {
    Open('[', artwork.empty());
    for (size_t i = 0; i < artwork.size(); ++i) {
      Indent(4);
      String(artwork[i].path);
      Next(i + 1 == artwork.size(), 3, ']');
    }
  }

  // Opens a list or an object; an empty one is closed at once.
  void Open(char bracket, bool empty) {
    out_ += bracket;
    if (empty)
      out_ += bracket == '[' ? ']' : '}';
    else if (pretty_)
      out_ += '\n';
  }
  // After an element at `level` + 1: a comma, or at the last the closing `bracket`.
  void Next(bool last, int level, char bracket) {
    if (!last) {
      out_ += pretty_ ? ",\n" : ",";
      return;
    }
    if (pretty_) {
      out_ += '\n';
      Indent(level);
    }
    out_ += bracket;
  }
  void Key(const std::string& name, int level) {
    Indent(level);
    String(name);
    out_ += pretty_ ? ": " : ":";
  }
  void Indent(int level) {
    if (pretty_) out_.append(step_ * static_cast<unsigned>(level), indentChar_);
  }
  void Text(const std::optional<std::string>& text) {
    if (text)
      String(*text);
    else
      out_ += "null";
  }
  // A string with JSON's escapes, the rest of UTF-8 as it is.
  void String(const std::string& text) {
    out_ += '"';
    for (const char c : text) {
      switch (c) {
        case '"': out_ += "\\\""; break;
        case '\\': out_ += "\\\\"; break;
        case '\b': out_ += "\\b"; break;
        case '\f': out_ += "\\f"; break;
        case '\n': out_ += "\\n"; break;
        case '\r': out_ += "\\r"; break;
        case '\t': out_ += "\\t"; break;
        default:
          if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out_ += escape;
          } else {
            out_ += c;
          }
      }
    }
    out_ += '"';
  }

  static constexpr size_t kChunk = 1 << 20;

  std::ostream& stream_;
  std::string out_;
  nlohmann::detail::serializer<Json> serializer_;
  bool pretty_;
  unsigned step_;
  char indentChar_;
};

}  // namespace

bool ReadLibraryText(const std::string& text, Json& others, std::vector<LibraryTrack>& tracks,
                     std::string* error) {
  others = Json::object();
  Reader reader(others, tracks);
  const bool read = Json::sax_parse(text, &reader);
  if (!read || !reader.sawTracks) {
    *error = read || reader.problem.empty() ? "is not an object with a \"tracks\" list"
                                            : reader.problem;
    return false;
  }
  return true;
}

std::optional<int32_t> AsInt32(const Json& value) {
  if (value.is_number_unsigned()) {
    const uint64_t n = value.get<uint64_t>();
    if (n <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
      return static_cast<int32_t>(n);
  } else if (value.is_number_integer()) {
    const int64_t n = value.get<int64_t>();
    if (n >= std::numeric_limits<int32_t>::min() && n <= std::numeric_limits<int32_t>::max())
      return static_cast<int32_t>(n);
  }
  return std::nullopt;
}

void WriteLibraryText(std::ostream& out, const Json& others,
                      const std::vector<LibraryTrack>& tracks, int indent, char indentChar) {
  Writer(out, indent, indentChar).Document(others, tracks);
}
