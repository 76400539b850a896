#pragma once

#include "common/components/data/dds.h"
#include "common/components/data/property_bridge.h"
#include "common/components/data/vector_pointer.h"

class Envelope;
class Sample_Data;
class Effect_Chain;
class Mixer;

// Conversions between model objects and the trees of the native files. Each get_ writes the
// object into the tree; each set_ applies the tree to the object. Readers take whatever the
// tree holds: missing or mistyped keys leave the field as it was, nothing is trusted.
namespace DDS_Helpers {

// Limits on what a stored mixer may ask for: each bus owns a quarter-megabyte block and each
// effect its delay lines, so a hostile file must not be able to ask for thousands.
constexpr int MAX_LOADED_BUFFERS = 128;
constexpr int MAX_LOADED_OUTPUTS = 64;      // per channel or buffer
constexpr int MAX_LOADED_EFFECTS = 256;     // in the whole mixer

void get_envelope(const Envelope* envelope, DDS* dds);
void set_envelope(DDS* dds, Envelope* envelope);

void get_sample_data(const Sample_Data* data, DDS* dds);
void set_sample_data(DDS* dds, Sample_Data* data);

void get_effect_chain_data(Effect_Chain* chain, DDS* dds);
// Appends the stored effects to the chain. budget, when given, is how many effects may still
// be created; it is lowered by each one made.
void set_effect_chain_data(DDS* dds, Effect_Chain* chain, int* budget = nullptr);

void get_property_bridge_list_data(const Property_Bridge_List* list, VectorPointer<DDS>& out);
void set_property_bridge_list_data(const VectorPointer<DDS>& in, const Property_Bridge_List* list);

void get_mixer_data(Mixer* mixer, DDS* dds);
// Adds the stored buffers and effects and replaces the stored buses' outputs.
void set_mixer_data(DDS* dds, Mixer* mixer);
// The mixer as a new song has it: no user buffers, empty effect chains, and each channel with
// its one default output. Loading a song starts from here so buses never pile up.
void reset_mixer(Mixer* mixer);

// Typed reads that leave the target alone when the key is missing or of another type.
bool read_int(const DDS* dds, const char* key, int& out);
bool read_string(const DDS* dds, const char* key, std::string& out);
const std::vector<int>* read_int_array(DDS* dds, const char* key);
DDS* read_tree(const DDS* dds, const char* key);
const VectorPointer<DDS>* read_tree_array(DDS* dds, const char* key);

}  // namespace DDS_Helpers
