#pragma once

#include "trackercore/note.h"

// Writing a cell's effect as the IT letter the loaders translate other formats' effects into.
namespace cell_commands {

inline void set_command(Note& cell, char letter, unsigned char parameter) {
    cell.command = (unsigned char)(letter - 'A');
    cell.parameter = parameter;
}

inline void clear_command(Note& cell) {
    cell.command = EMPTY_FIELD;
    cell.parameter = 0;
}

// For sub-commands that do nothing at 0 where their IT letter would repeat the last value.
inline void set_command_unless_zero(Note& cell, int value, char letter, unsigned char parameter) {
    if (value == 0)
        clear_command(cell);
    else
        set_command(cell, letter, parameter);
}

}  // namespace cell_commands
