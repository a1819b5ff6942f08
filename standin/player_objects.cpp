#include "player_objects.h"

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "host_path.h"
#include "interface_ids.h"
#include "text_encoding.h"

namespace {

std::atomic<long> liveObjects{0};
std::atomic<uint64_t> playerCalls{0};
void (*lastObjectReleased)() = nullptr;
// Objects released while a test watched: kept so that a late call on one is caught, not a
// crash. Each entry deletes its object.
std::vector<std::function<void()>> releasedObjects;

// Says so on standard error when the process ends with objects never released.
struct LeakReport {
  ~LeakReport() {
    FreeReleasedObjects();
    if (long n = liveObjects.load())
      std::fprintf(stderr, "player: %ld object(s) never released\n", n);
  }
} leakReport;

void ReportProblem(const std::string& problem) {
  std::fprintf(stderr, "player: %s\\%s %s\n", kPlayerFolder, kLibraryFile, problem.c_str());
}

template <class Interface>
const IID& InterfaceId();
template <>
const IID& InterfaceId<IiTunes>() { return IID_IiTunes; }
template <>
const IID& InterfaceId<IITTrack>() { return IID_IITTrack; }
template <>
const IID& InterfaceId<IITArtworkCollection>() { return IID_IITArtworkCollection; }
template <>
const IID& InterfaceId<IITArtwork>() { return IID_IITArtwork; }

// Reference counting and QueryInterface for an object of one interface over the library.
template <class Interface>
class PlayerObject : public Interface {
 public:
  explicit PlayerObject(std::shared_ptr<Library> library) : library_(std::move(library)) {
    ++liveObjects;
  }
  virtual ~PlayerObject() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid != IID_IUnknown && iid != InterfaceId<Interface>()) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    *object = static_cast<Interface*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    if (references_ == 0) {  // only a kept object can be reached here
      Misuse("Release");
      return 0;
    }
    const ULONG left = --references_;
    if (left > 0) return left;
    Released();
    if (library_->hooks)
      releasedObjects.push_back([this] { delete this; });
    else
      delete this;
    if (--liveObjects == 0 && lastObjectReleased) lastObjectReleased();
    return 0;
  }

 protected:
  // What to do when the last reference goes.
  virtual void Released() {}

  // Counts a call of `operation` on the track `trackId` (0 for none) and says how it is to
  // fail. A call that hands back no object or string fails as kError when asked for kNull.
  Fault Enter(const char* operation, int32_t trackId = 0) {
    ++playerCalls;
    PlayerHooks* hooks = library_->hooks;
    if (!hooks) return Fault::kNone;
    if (references_ == 0) {
      Misuse(operation);
      return Fault::kError;
    }
    hooks->operations.push_back(trackId ? std::string(operation) + " " + std::to_string(trackId)
                                        : std::string(operation));
    if (hooks->failAt == hooks->operations.size()) return hooks->failKind;
    if (hooks->fails && hooks->fails(operation)) return Fault::kError;
    return Fault::kNone;
  }

  // What a call made to fail as `fault` returns: S_OK with nothing handed back, or an error.
  static HRESULT Failed(Fault fault) { return fault == Fault::kNull ? S_OK : E_FAIL; }

  // Records `entry` in the test's call log.
  void Log(const std::string& entry) {
    if (library_->hooks) library_->hooks->calls.push_back(entry);
  }

  std::shared_ptr<Library> library_;

 private:
  void Misuse(const char* operation) {
    std::string what = std::string(operation) + " on a released object";
    std::fprintf(stderr, "player: %s\n", what.c_str());
    if (library_->hooks) library_->hooks->misuse.push_back(std::move(what));
  }

  std::atomic<ULONG> references_{1};
};

BSTR MakeString(const std::optional<std::string>& text) {
  if (!text) return nullptr;
  const std::u16string units = Utf8ToUtf16(*text);
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(units.data()),
                           static_cast<UINT>(units.size()));
}

// The host path of the player path `path`. The batch passes the same path again and again, so
// the last one is remembered, with the drive it was found on.
const std::string& HostPathOf(BSTR path) {
  static std::u16string lastPath;
  static std::string lastDrive, lastHostPath;
  const std::u16string units(reinterpret_cast<const char16_t*>(path), SysStringLen(path));
  std::string drive = HostPath("C:");
  if (units != lastPath || drive != lastDrive || lastHostPath.empty()) {
    lastHostPath = HostPath(Utf16ToUtf8(units).c_str());
    lastPath = units;
    lastDrive = std::move(drive);
  }
  return lastHostPath;
}

std::string Tag(int32_t trackId, size_t position) {
  return std::to_string(trackId) + ":" + std::to_string(position + 1);
}

class Artwork : public PlayerObject<IITArtwork> {
 public:
  Artwork(std::shared_ptr<Library> library, int32_t trackId, uint64_t serial)
      : PlayerObject(std::move(library)), trackId_(trackId), serial_(serial) {}

  HRESULT STDMETHODCALLTYPE Delete() override {
    if (Enter("delete", trackId_) != Fault::kNone) return E_FAIL;
    LibraryTrack* track = library_->FindTrack(trackId_);
    const size_t position = Position(track);
    if (position == kGone) return E_FAIL;
    Log("delete " + Tag(trackId_, position));
    track->artwork.erase(track->artwork.begin() + position);
    library_->Touch();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SaveArtworkToFile(BSTR filePath) override {
    if (Enter("save", trackId_) != Fault::kNone) return E_FAIL;
    LibraryTrack* track = library_->FindTrack(trackId_);
    const size_t position = Position(track);
    if (position == kGone || !filePath) return E_FAIL;
    Log("save " + Tag(trackId_, position));
    return library_->SaveImage(track->artwork[position], HostPathOf(filePath)) ? S_OK : E_FAIL;
  }

 private:
  static constexpr size_t kGone = static_cast<size_t>(-1);

  size_t Position(const LibraryTrack* track) const {
    if (!track) return kGone;
    for (size_t i = 0; i < track->artwork.size(); ++i)
      if (track->artwork[i].serial == serial_) return i;
    return kGone;
  }

  int32_t trackId_;
  uint64_t serial_;
};

class ArtworkCollection : public PlayerObject<IITArtworkCollection> {
 public:
  ArtworkCollection(std::shared_ptr<Library> library, int32_t trackId)
      : PlayerObject(std::move(library)), trackId_(trackId) {}

  HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    if (Enter("count", trackId_) != Fault::kNone) return E_FAIL;
    LibraryTrack* track = library_->FindTrack(trackId_);
    if (!track) return E_FAIL;
    *count = static_cast<LONG>(track->artwork.size());
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE get_Item(LONG index, IITArtwork** artwork) override {
    if (!artwork) return E_POINTER;
    *artwork = nullptr;
    if (const Fault fault = Enter("item", trackId_); fault != Fault::kNone) return Failed(fault);
    LibraryTrack* track = library_->FindTrack(trackId_);
    if (!track) return E_FAIL;
    if (index < 1 || static_cast<size_t>(index) > track->artwork.size()) return E_INVALIDARG;
    *artwork = new Artwork(library_, trackId_, track->artwork[index - 1].serial);
    return S_OK;
  }

 private:
  int32_t trackId_;
};

class Track : public PlayerObject<IITTrack> {
 public:
  Track(std::shared_ptr<Library> library, int32_t id) : PlayerObject(std::move(library)), id_(id) {}

  HRESULT STDMETHODCALLTYPE get_TrackDatabaseID(LONG* id) override {
    if (!id) return E_POINTER;
    *id = 0;
    if (Enter("id", id_) != Fault::kNone) return E_FAIL;
    *id = id_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override {
    return Text("name", &LibraryTrack::name, name);
  }
  HRESULT STDMETHODCALLTYPE get_Album(BSTR* album) override {
    return Text("album", &LibraryTrack::album, album);
  }
  HRESULT STDMETHODCALLTYPE get_Artist(BSTR* artist) override {
    return Text("artist", &LibraryTrack::artist, artist);
  }
  HRESULT STDMETHODCALLTYPE get_TrackNumber(LONG* number) override {
    if (!number) return E_POINTER;
    *number = 0;
    if (Enter("number", id_) != Fault::kNone) return E_FAIL;
    LibraryTrack* track = library_->FindTrack(id_);
    if (!track) return E_FAIL;
    Log("row " + std::to_string(id_));
    *number = track->number;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Artwork(IITArtworkCollection** artworks) override {
    if (!artworks) return E_POINTER;
    *artworks = nullptr;
    if (const Fault fault = Enter("artwork", id_); fault != Fault::kNone) return Failed(fault);
    if (!library_->FindTrack(id_)) return E_FAIL;
    *artworks = new ArtworkCollection(library_, id_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE AddArtworkFromFile(BSTR filePath, IITArtwork** artwork) override {
    if (!artwork) return E_POINTER;
    *artwork = nullptr;
    if (const Fault fault = Enter("add", id_); fault != Fault::kNone) return Failed(fault);
    LibraryTrack* track = library_->FindTrack(id_);
    if (!track || !filePath) return E_FAIL;
    Log("add " + std::to_string(id_));
    if (!library_->AddImage(*track, HostPathOf(filePath))) return E_FAIL;
    *artwork = new Artwork(library_, id_, track->artwork.back().serial);
    return S_OK;
  }

 private:
  HRESULT Text(const char* operation, std::optional<std::string> LibraryTrack::*field, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (const Fault fault = Enter(operation, id_); fault != Fault::kNone) return Failed(fault);
    LibraryTrack* track = library_->FindTrack(id_);
    if (!track) return E_FAIL;
    *out = MakeString(track->*field);
    return S_OK;
  }

  int32_t id_;
};

class Application : public PlayerObject<IiTunes> {
 public:
  using PlayerObject::PlayerObject;

  HRESULT STDMETHODCALLTYPE get_CurrentTrack(IITTrack** track) override {
    if (!track) return E_POINTER;
    *track = nullptr;
    if (const Fault fault = Enter("current"); fault != Fault::kNone) return Failed(fault);
    if (!library_->current) return static_cast<HRESULT>(1);  // S_FALSE: no current track
    *track = new Track(library_, library_->tracks[*library_->current].id);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE NextTrack() override {
    if (Enter("next") != Fault::kNone) return E_FAIL;
    Log("next");
    std::optional<size_t>& current = library_->current;
    if (!current) return static_cast<HRESULT>(1);
    const size_t before = *current;
    if (*current + 1 < library_->tracks.size())
      ++*current;
    else if (library_->repeat)
      current = 0;
    if (*current != before) library_->Touch();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE PreviousTrack() override {
    if (Enter("previous") != Fault::kNone) return E_FAIL;
    Log("previous");
    std::optional<size_t>& current = library_->current;
    if (!current) return static_cast<HRESULT>(1);
    if (*current > 0) {
      --*current;
      library_->Touch();
    }
    return S_OK;
  }

 protected:
  // The player writes its library back when the batch lets go of it.
  void Released() override {
    std::string error;
    if (!library_->Save(&error))
      ReportProblem("was not written back: " + error + "; it is left as it was");
  }
};

}  // namespace

HRESULT CreatePlayer(std::shared_ptr<Library> library, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  auto* application = new Application(std::move(library));
  const HRESULT result = application->QueryInterface(iid, object);
  application->Release();
  return result;
}

HRESULT StartPlayer(REFIID iid, void** object, PlayerHooks* hooks) {
  if (!object) return E_POINTER;
  *object = nullptr;
  const std::string folder = HostPath(kPlayerFolder);
  if (!Library::Exists(folder)) {
    ReportProblem("does not exist: the player is not installed");
    return REGDB_E_CLASSNOTREG;
  }
  std::string error;
  std::unique_ptr<Library> library = Library::Load(folder, &error);
  if (!library) {
    ReportProblem(error + "; the player cannot start");
    return CO_E_SERVER_EXEC_FAILURE;
  }
  library->hooks = hooks;
  return CreatePlayer(std::move(library), iid, object);
}

long LiveObjectCount() { return liveObjects.load(); }

uint64_t PlayerCallCount() { return playerCalls.load(); }

void FreeReleasedObjects() {
  std::vector<std::function<void()>> objects;
  objects.swap(releasedObjects);
  for (const auto& free : objects) free();
}

void OnLastObjectReleased(void (*callback)()) { lastObjectReleased = callback; }
