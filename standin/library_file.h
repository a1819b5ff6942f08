// library.json read event by event and written back: the track list goes straight into
// LibraryTrack values, with each track's other fields and field order kept beside them, and the
// rest of the document into a small JSON object, so that writing back keeps every field in its
// place without holding the whole document as a JSON tree.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "library.h"

// Reads JSON `text` into `others` (the top-level fields but "tracks", which stands there as
// null to keep its place) and `tracks`, with each track's fields checked. False with the reason
// in `error` when the text is not JSON, or not a library.
bool ReadLibraryText(const std::string& text, nlohmann::ordered_json& others,
                     std::vector<LibraryTrack>& tracks, std::string* error);

// `value` when it is an integer that fits in 32 bits.
std::optional<int32_t> AsInt32(const nlohmann::ordered_json& value);

// Writes the library of `others` and `tracks` as nlohmann writes JSON: on one line when `indent`
// is negative, else `indent` times `indentChar` a level.
void WriteLibraryText(std::ostream& out, const nlohmann::ordered_json& others,
                      const std::vector<LibraryTrack>& tracks, int indent, char indentChar);
