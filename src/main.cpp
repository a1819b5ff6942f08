// artwork-batch: gives every album run of the player's tracks, from its current track to the end
// of its list, one artwork, and writes a summary table to the console and to
// C:\Image\ArtworkSummary.txt. Takes no arguments; always exits 0.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdlib>
#include <fstream>
#include <iostream>

#include "artwork_pass.h"
#include "host_path.h"
#include "player/itunes.h"
#include "summary_table.h"

namespace {

const char kImageFolder[] = "C:\\Image";
const char kSummaryPath[] = "C:\\Image\\ArtworkSummary.txt";
const char kImagePath[] = "C:\\Image\\ItunesAlbumImage.jpg";

}  // namespace

int main() {
  std::ofstream summary;
  IiTunes* player = nullptr;
  BSTR imagePath = nullptr;
  ArtworkPassHeld held = {nullptr, nullptr, nullptr, nullptr};

  CoInitialize(nullptr);
  const HRESULT created = CoCreateInstance(CLSID_iTunesApp, nullptr, CLSCTX_LOCAL_SERVER,
                                           IID_IiTunes, reinterpret_cast<void**>(&player));
  if (FAILED(created) || !player) {
    std::cout << "Failed to initialize iTunes Error" << std::endl;
    CoUninitialize();
    return 0;
  }

  const DWORD attributes = GetFileAttributesA(kImageFolder);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    SECURITY_ATTRIBUTES security = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    CreateDirectoryA(kImageFolder, &security);
  }
  // Text mode: each newline becomes the platform's line end. If the file cannot be opened the
  // stream stays failed and the table goes to the console only.
  summary.open(HostPath(kSummaryPath), std::ios::out | std::ios::trunc);

  std::cout << "iTunes COM interface Copyright (c) Apple Inc. All rights reserved." << std::endl;
  std::cout << "Tandrill Processing database...." << std::endl;
  WriteTableHeader(summary);

  wchar_t wideImagePath[sizeof kImagePath];
  std::mbstowcs(wideImagePath, kImagePath, sizeof kImagePath);
  imagePath = SysAllocString(wideImagePath);

  ArtworkPass(player, summary, imagePath, held);

  DeleteFileA(kImagePath);
  summary.close();
  if (held.track) held.track->Release();
  if (held.searchArtworks) held.searchArtworks->Release();
  SysFreeString(imagePath);
  SysFreeString(held.runAlbum);
  SysFreeString(held.followAlbum);
  player->Release();
  CoUninitialize();
  return 0;
}
