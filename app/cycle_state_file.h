#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "app/composed_render.h"
#include "foundation/shared_string.h"

// One change as the history keeps it: what each monitor showed, or one
// picture (with no monitor name) where one picture covered the desktop.
using ShownPictures = std::vector<MonitorSource>;

// What the change cycle keeps between runs: the round through the image
// folder and the last changes.
struct CycleState {
  // The image folder the round belongs to.
  Orvex::SharedString image_folder;
  std::vector<Orvex::SharedString> round;
  uint32_t position = 0;
  uint32_t shown = 0;
  // Oldest first.
  std::vector<ShownPictures> history;
  // The entry on show; below the last one after going back.
  uint32_t history_at = 0;
};

// The state lives beside the settings file (extension ".state"), as
// "key = value" lines in the settings file's encoding.
Orvex::SharedString CycleStatePath(const Orvex::SharedString& settings_file);

// The state in the file; nothing when the file is missing, unreadable, not
// ours or damaged in any way, so that the program starts a fresh round.
std::optional<CycleState> ReadCycleState(const Orvex::SharedString& file);
// Writes the state whole or not at all, under the settings lock. Throws
// Orvex::IOException on failure.
void WriteCycleState(const Orvex::SharedString& file, const Orvex::SharedString& lock_name,
                     const CycleState& state);

// The text of the file, and the state of a text (nothing when damaged).
Orvex::SharedString FormatCycleState(const CycleState& state);
std::optional<CycleState> ParseCycleState(std::u16string_view text);
