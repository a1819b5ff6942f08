// The summary table: one header line, then one row per settled track, written to the console
// and then to the summary file, piece by piece.
#pragma once

#include <ostream>

#include "player/itunes.h"

// Writes the header line to the console, then to `summary`.
void WriteTableHeader(std::ostream& summary);

// Writes the row of `track` (number, name, album, artist) to the console and to `summary`.
void WriteTrackRow(std::ostream& summary, IITTrack* track);
