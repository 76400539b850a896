#pragma once

// One pattern cell. A plain five-byte value, copied and compared by value.
constexpr unsigned char NOTE_FADE = 252;  // the playing note fades out; its sustain holds
constexpr unsigned char NOTE_CUT = 253;
constexpr unsigned char NOTE_OFF = 254;
constexpr unsigned char EMPTY_FIELD = 255;  // the "nothing here" value of note, instrument, volume, command
constexpr int NOTE_COUNT = 120;             // notes 0..119 are C-0..B-9
// Volume-column values past the IT ranges, for XM's column: the vibrato speed 0..15 alone, and
// the vibrato depths 10..15 that the IT range (203..212) cannot hold.
constexpr unsigned char VOLUME_VIBRATO_SPEED = 213;
constexpr unsigned char VOLUME_VIBRATO_DEPTH = 229;
// Commands 0..25 are A..Z; the smooth macro \xx follows as IT numbers it.
constexpr unsigned char COMMAND_SMOOTH_MACRO = 27;
// XM's column slides down by 10..15 a tick, past IT's range (95..104).
constexpr unsigned char VOLUME_SLIDE_DOWN_DEEP = 245;
constexpr unsigned char VOLUME_COLUMN_LAST = VOLUME_SLIDE_DOWN_DEEP + 5;
// An effect past IT's letters, for XM's EAx and EBx (the parameter as XM writes it): a fine
// volume slide with its own memory for each direction, which IT's D cannot hold (DFF would
// be both EAF and EBF, D0F and DF0 are plain slides).
constexpr unsigned char COMMAND_FT2_FINE_VOLUME_SLIDE = 40;
// XM's Lxx: the envelopes go on from tick xx.
constexpr unsigned char COMMAND_FT2_ENVELOPE_POSITION = 41;
// XM's E5x: the note on its row plays at finetune (x - 8) * 16 instead of its sample's.
constexpr unsigned char COMMAND_FT2_FINETUNE = 42;

struct Note {
    unsigned char note = EMPTY_FIELD;
    unsigned char instrument = EMPTY_FIELD;
    unsigned char volume = EMPTY_FIELD;
    unsigned char command = EMPTY_FIELD;
    unsigned char parameter = 0;

    bool operator==(const Note&) const = default;
    // Empty means all five bytes equal the empty note: a lone parameter is content.
    bool is_empty() const { return *this == Note(); }
};

static_assert(sizeof(Note) == 5, "Note must stay a five-byte value");
