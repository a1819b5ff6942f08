#include "player_objects.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>

#include "host_path.h"
#include "interface_ids.h"
#include "text_encoding.h"

namespace {

std::atomic<long> liveObjects{0};
void (*lastObjectReleased)() = nullptr;

// Says so on standard error when the process ends with objects never released.
struct LeakReport {
  ~LeakReport() {
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
  virtual ~PlayerObject() {
    if (--liveObjects == 0 && lastObjectReleased) lastObjectReleased();
  }

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
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  // Whether a call of `operation` may go ahead; records `entry` in the call log when it does.
  bool Enter(const char* operation, const std::string& entry = std::string()) {
    PlayerHooks* hooks = library_->hooks;
    if (!hooks) return true;
    if (hooks->fails && hooks->fails(operation)) return false;
    if (!entry.empty()) hooks->calls.push_back(entry);
    return true;
  }

  std::shared_ptr<Library> library_;

 private:
  std::atomic<ULONG> references_{1};
};

BSTR MakeString(const std::optional<std::string>& text) {
  if (!text) return nullptr;
  const std::u16string units = Utf8ToUtf16(*text);
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(units.data()),
                           static_cast<UINT>(units.size()));
}

std::string HostPathOf(BSTR path) {
  const std::u16string units(reinterpret_cast<const char16_t*>(path), SysStringLen(path));
  return HostPath(Utf16ToUtf8(units).c_str());
}

std::string Tag(int32_t trackId, size_t position) {
  return std::to_string(trackId) + ":" + std::to_string(position + 1);
}

class Artwork : public PlayerObject<IITArtwork> {
 public:
  Artwork(std::shared_ptr<Library> library, int32_t trackId, uint64_t serial)
      : PlayerObject(std::move(library)), trackId_(trackId), serial_(serial) {}

  HRESULT STDMETHODCALLTYPE Delete() override {
    LibraryTrack* track = library_->FindTrack(trackId_);
    const size_t position = Position(track);
    if (position == kGone || !Enter("delete", "delete " + Tag(trackId_, position))) return E_FAIL;
    track->artwork.erase(track->artwork.begin() + position);
    library_->Touch();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SaveArtworkToFile(BSTR filePath) override {
    LibraryTrack* track = library_->FindTrack(trackId_);
    const size_t position = Position(track);
    if (position == kGone || !filePath) return E_FAIL;
    if (!Enter("save", "save " + Tag(trackId_, position))) return E_FAIL;
    const std::optional<std::string> bytes = ReadFile(library_->ImageFile(track->artwork[position]));
    if (!bytes) return E_FAIL;
    const std::string target = HostPathOf(filePath);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) return E_FAIL;
    out << *bytes;
    out.close();
    if (!out) {
      std::remove(target.c_str());  // half an image is worse than none
      return E_FAIL;
    }
    return S_OK;
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
    LibraryTrack* track = library_->FindTrack(trackId_);
    if (!track || !Enter("count")) return E_FAIL;
    *count = static_cast<LONG>(track->artwork.size());
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE get_Item(LONG index, IITArtwork** artwork) override {
    if (!artwork) return E_POINTER;
    *artwork = nullptr;
    LibraryTrack* track = library_->FindTrack(trackId_);
    if (!track || !Enter("item")) return E_FAIL;
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
    if (!Enter("id")) return E_FAIL;
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
    LibraryTrack* track = library_->FindTrack(id_);
    if (!track || !Enter("number", "row " + std::to_string(id_))) return E_FAIL;
    *number = track->number;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Artwork(IITArtworkCollection** artworks) override {
    if (!artworks) return E_POINTER;
    *artworks = nullptr;
    if (!library_->FindTrack(id_) || !Enter("artwork")) return E_FAIL;
    *artworks = new ArtworkCollection(library_, id_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE AddArtworkFromFile(BSTR filePath, IITArtwork** artwork) override {
    if (!artwork) return E_POINTER;
    *artwork = nullptr;
    LibraryTrack* track = library_->FindTrack(id_);
    if (!track || !filePath || !Enter("add", "add " + std::to_string(id_))) return E_FAIL;
    if (!library_->AddImage(*track, HostPathOf(filePath))) return E_FAIL;
    *artwork = new Artwork(library_, id_, track->artwork.back().serial);
    return S_OK;
  }

 private:
  HRESULT Text(const char* operation, std::optional<std::string> LibraryTrack::*field, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    LibraryTrack* track = library_->FindTrack(id_);
    if (!track || !Enter(operation)) return E_FAIL;
    *out = MakeString(track->*field);
    return S_OK;
  }

  int32_t id_;
};

class Application : public PlayerObject<IiTunes> {
 public:
  using PlayerObject::PlayerObject;
  ~Application() override {
    std::string error;
    if (!library_->Save(&error))
      ReportProblem("was not written back: " + error + "; it is left as it was");
  }

  HRESULT STDMETHODCALLTYPE get_CurrentTrack(IITTrack** track) override {
    if (!track) return E_POINTER;
    *track = nullptr;
    if (!Enter("current")) return E_FAIL;
    if (!library_->current) return static_cast<HRESULT>(1);  // S_FALSE: no current track
    *track = new Track(library_, library_->tracks[*library_->current].id);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE NextTrack() override {
    if (!Enter("next", "next")) return E_FAIL;
    std::optional<size_t>& current = library_->current;
    if (!current) return static_cast<HRESULT>(1);
    const size_t before = *current;
    if (*current + 1 < library_->tracks.size())
      ++*current;
    else if (library_->hooks && library_->hooks->wraps)
      current = 0;
    if (*current != before) library_->Touch();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE PreviousTrack() override {
    if (!Enter("previous", "previous")) return E_FAIL;
    std::optional<size_t>& current = library_->current;
    if (!current) return static_cast<HRESULT>(1);
    if (*current > 0) {
      --*current;
      library_->Touch();
    }
    return S_OK;
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

HRESULT StartPlayer(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  const std::string folder = HostPath(kPlayerFolder);
  if (!Library::Exists(folder)) return REGDB_E_CLASSNOTREG;
  std::string error;
  std::unique_ptr<Library> library = Library::Load(folder, &error);
  if (!library) {
    ReportProblem(error + "; the player cannot start");
    return CO_E_SERVER_EXEC_FAILURE;
  }
  return CreatePlayer(std::move(library), iid, object);
}

long LiveObjectCount() { return liveObjects.load(); }

void OnLastObjectReleased(void (*callback)()) { lastObjectReleased = callback; }
