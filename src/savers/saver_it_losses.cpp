#include <cctype>
#include <string>
#include <vector>

#include "common/components/audio/mixer.h"
#include "savers/saver_it.h"
#include "trackercore/instrument.h"
#include "trackercore/sample.h"
#include "trackercore/song.h"

// What an Impulse Tracker file cannot hold of a song, said before the song is written.

namespace {

// A caption as it reads inside a sentence: "Old Effects" -> "old effects", names such as "FT2"
// and "GXX" kept.
std::string in_sentence(const std::string& caption) {
    std::string out, word;
    auto flush = [&] {
        int capitals = 0;
        for (char ch : word) capitals += std::isupper((unsigned char)ch) || std::isdigit((unsigned char)ch);
        if (capitals <= 1)
            for (char& ch : word) ch = (char)std::tolower((unsigned char)ch);
        out += word;
        word.clear();
    };
    for (char ch : caption) {
        if (ch == ' ') {
            flush();
            out += ' ';
        } else {
            word += ch;
        }
    }
    flush();
    return out;
}

constexpr size_t MAX_LISTED = 6;

// "sample 3", "samples 1, 4 and 7", "samples 1, 2, 3, 4, 5, 6 and 3 more".
std::string numbered(const std::vector<int>& numbers, const char* one, const char* many) {
    std::string text = numbers.size() == 1 ? one : many;
    size_t listed = numbers.size() > MAX_LISTED + 1 ? MAX_LISTED : numbers.size();
    for (size_t i = 0; i < listed; i++) {
        text += i == 0 ? " " : (i + 1 == numbers.size() ? " and " : ", ");
        text += std::to_string(numbers[i]);
    }
    if (listed < numbers.size()) text += " and " + std::to_string(numbers.size() - listed) + " more";
    return text;
}

bool names_a_sample(const Instrument::Layer& layer) {
    for (unsigned char s : layer.sample_table)
        if (s < Song::MAX_SAMPLES) return true;
    return false;
}

bool is_plain_output(Mixer& mixer, int channel) {
    return mixer.get_channel_output_count(channel) == 1 && mixer.get_channel_output_buffer_index(channel, 0) == -1 &&
           mixer.get_channel_output_send_level(channel, 0) == Mixer::Buffer::Output().send_level &&
           mixer.get_channel_output_send_control(channel, 0) == -1;
}

// "1 effect", "3 effects".
std::string count_of(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

void mixer_losses(Mixer& mixer, std::vector<std::string>& lines) {
    int effects = 0;
    std::vector<int> channels_with_effects, rerouted;
    for (int c = 0; c < mixer.get_channel_count(); c++) {
        int count = mixer.get_channel_effect_chain(c)->get_effect_count();
        effects += count;
        if (count > 0) channels_with_effects.push_back(c);
        if (!is_plain_output(mixer, c)) rerouted.push_back(c);
    }
    const int buffers = mixer.get_buffer_count();
    bool buffer_effects = false;
    std::string names;
    for (int b = 0; b < buffers; b++) {
        int count = mixer.get_buffer_effect_chain(b)->get_effect_count();
        effects += count;
        buffer_effects |= count > 0;
        if (b < (int)MAX_LISTED) names += std::string(b ? ", " : "") + "\"" + mixer.get_buffer_name(b) + "\"";
    }
    if (buffers > (int)MAX_LISTED) names += ", ...";
    if (effects > 0) {
        std::string where;
        if (!channels_with_effects.empty())
            where = " on " + numbered(channels_with_effects, "mixer channel", "mixer channels");
        if (buffer_effects)
            where += std::string(where.empty() ? " on " : " and on ") + (buffers == 1 ? "the buffer" : "buffers");
        lines.push_back("Effects: " + count_of(effects, "effect", "effects") + where + " cannot be kept.");
    }
    if (buffers > 0)
        lines.push_back("Buffers: " + count_of(buffers, "buffer", "buffers") + " (" + names +
                        ") and what " + (buffers == 1 ? "it sends" : "they send") + " cannot be kept.");
    if (!rerouted.empty())
        lines.push_back("Routing: " + numbered(rerouted, "mixer channel", "mixer channels") +
                        " will send straight to the mixdown again.");
}

void instrument_losses(Song& song, std::vector<std::string>& lines) {
    std::vector<int> layered, routed, long_names;
    for (int i = 0; i < Song::MAX_INSTRUMENTS; i++) {
        const Instrument& ins = *song.get_instrument(i);
        bool extra_layers = false;
        for (int l = 1; l < Instrument::LAYERS; l++) extra_layers |= names_a_sample(ins.layers[l]);
        if (extra_layers) layered.push_back(i + 1);
        const Instrument::Layer& first = ins.layers[0];
        if (ins.channel_output != 0 || (first.override_instrument_output && first.channel_output != 0))
            routed.push_back(i + 1);
        if (ins.name.size() > Saver_IT::MAX_NAME) long_names.push_back(i + 1);
    }
    if (!layered.empty())
        lines.push_back("Layers: Impulse Tracker instruments have one layer; layers 2 to 4 of " +
                        numbered(layered, "instrument", "instruments") + " are dropped.");
    if (!routed.empty())
        lines.push_back("Mixer channels: instruments will all play through mixer channel 0 (" +
                        numbered(routed, "instrument", "instruments") + " had another).");
    if (!long_names.empty())
        lines.push_back("Names: names are cut to " + std::to_string(Saver_IT::MAX_NAME) + " characters (" +
                        numbered(long_names, "instrument", "instruments") + ").");
}

void sample_losses(Song& song, std::vector<std::string>& lines) {
    std::vector<int> long_names, fast_vibrato;
    for (int s = 0; s < Song::MAX_SAMPLES; s++) {
        const Sample& sample = *song.get_sample(s);
        if (sample.get_name_to_save().size() > Saver_IT::MAX_NAME) long_names.push_back(s + 1);
        if (sample.in_use && sample.vibrato_speed > 255) fast_vibrato.push_back(s + 1);
    }
    if (!long_names.empty())
        lines.push_back("Names: names are cut to " + std::to_string(Saver_IT::MAX_NAME) + " characters (" +
                        numbered(long_names, "sample", "samples") + ").");
    if (!fast_vibrato.empty())
        lines.push_back("Vibrato: vibrato sweeps are cut to what Impulse Tracker holds (" +
                        numbered(fast_vibrato, "sample", "samples") + ").");
}

void song_losses(Song& song, std::vector<std::string>& lines) {
    const Song::Song_Variables& v = *song.get_variables();
    if (v.name.size() > Saver_IT::MAX_NAME)
        lines.push_back("Title: the song's title is cut to " + std::to_string(Saver_IT::MAX_NAME) + " characters.");
    if (v.message.size() > Saver_IT::MAX_MESSAGE)
        lines.push_back("Message: the song message is cut to " + std::to_string(Saver_IT::MAX_MESSAGE) +
                        " characters.");
    // The channel byte holds surround, mute or a pan: one of them.
    std::vector<int> panned, surround;
    const Song::Initial_Variables& init = *song.get_initial_variables();
    for (int c = 0; c < Song::CHANNELS; c++) {
        const Song::Initial_Variables::Channel_State& state = init.channel[c];
        if (state.mute && state.surround) surround.push_back(c + 1);
        else if (state.mute && state.pan != 32) panned.push_back(c + 1);
    }
    if (!panned.empty())
        lines.push_back("Channels: a muted channel keeps no pan (" + numbered(panned, "channel", "channels") + ").");
    if (!surround.empty())
        lines.push_back("Channels: a surround channel keeps no mute (" + numbered(surround, "channel", "channels") +
                        ").");

    // Rules the song brought from its own format, which an Impulse Tracker file plays by its own.
    // The header keeps linear slides, old effects and compatible Gxx; every other rule is IT's.
    Playback_Rules it = Playback_Rules::of_format(Playback_Rules::Format::IT);
    it.use_linear_slides = v.rules.use_linear_slides;
    it.old_effects = v.rules.old_effects;
    it.compatible_gxx = v.rules.compatible_gxx;
    // A song without instruments comes in with one instrument per sample, every slot mapped, so
    // what an unmapped note does is not heard once it is written with instruments; naming it
    // would ask on each save of such a song.
    it.keep_instrument_mode(v.rules);
    std::vector<std::string> rules;
    for (const Playback_Rules::Entry& rule : Playback_Rules::list()) {
        const bool same = rule.flag ? v.rules.*rule.flag == it.*rule.flag : v.rules.*rule.number == it.*rule.number;
        if (same) continue;
        rules.push_back(in_sentence(rule.caption));
    }
    if (!rules.empty()) {
        std::string list;
        for (size_t i = 0; i < rules.size(); i++)
            list += (i == 0 ? "" : i + 1 == rules.size() ? " and " : ", ") + rules[i];
        lines.push_back("Playback: the song's own rules for " + list +
                        " are not kept; it will play by Impulse Tracker's and may sound different.");
    }
}

}  // namespace

std::vector<std::string> Saver_IT::get_losses(const char* file) const {
    std::vector<std::string> lines;
    if (!claims_song_name(file) || !song) return lines;
    song_losses(*song, lines);
    if (mixer) mixer_losses(*mixer, lines);
    instrument_losses(*song, lines);
    sample_losses(*song, lines);
    return lines;
}

std::vector<std::string> Saver_IT::get_sample_losses(const char* file, int slot) const {
    std::vector<std::string> lines;
    const Sample* sample = song && has_extension(file, ".is", ".IS") ? song->get_sample(slot) : nullptr;
    if (!sample) return lines;
    if (sample->get_name_to_save().size() > MAX_NAME)
        lines.push_back("Name: the sample's name is cut to " + std::to_string(MAX_NAME) + " characters.");
    if (sample->vibrato_speed > 255)
        lines.push_back("Vibrato: the vibrato sweep is cut to what Impulse Tracker holds.");
    return lines;
}

std::vector<std::string> Saver_IT::get_instrument_losses(const char* file, int slot) const {
    std::vector<std::string> lines;
    const Instrument* ins = song && has_extension(file, ".ii", ".II") ? song->get_instrument(slot) : nullptr;
    if (!ins) return lines;
    for (int l = 1; l < Instrument::LAYERS; l++)
        if (names_a_sample(ins->layers[l])) {
            lines.push_back("Layers: Impulse Tracker instruments have one layer: layers 2 to 4 are dropped.");
            break;
        }
    if (ins->name.size() > MAX_NAME)
        lines.push_back("Name: the instrument's name is cut to " + std::to_string(MAX_NAME) + " characters.");
    return lines;
}
