#pragma once

namespace tavrel {

// Longest texts the editors take, column by column: the boxes of the windows are limited to
// them, and whatever else writes these columns (an import from a spreadsheet) keeps to them.

// The columns of a task.
inline constexpr int TaskNameLength = 80;
inline constexpr int EquipmentTextLength = 60; // manufacturer, model, serial number
inline constexpr int TagLength = 40;
inline constexpr int MiscLength = 50;
inline constexpr int BestTimeLength = 120;

// A name or a description of the four short lists (employees, managers, locations, types).
inline constexpr int CodeTextLength = 30;

} // namespace tavrel
