/* A LADSPA library for the plug-in host tests: port hints that the installed plug-ins do not
   cover, a stereo pair that swaps channels, and a descriptor that refuses to instantiate.
   Counters are exported so tests can see what the host did. */
#include <ladspa.h>
#include <stdlib.h>

enum {
    HINTS_FREQUENCY, HINTS_STAGES, HINTS_BYPASS, HINTS_OFFSET, HINTS_LOW, HINTS_HIGH, HINTS_MAX,
    HINTS_NEGATIVE, HINTS_RATE, HINTS_INPUT, HINTS_OUTPUT, HINTS_LEVEL, HINTS_PORTS
};
enum { STEREO_IN_L, STEREO_IN_R, STEREO_OUT_L, STEREO_OUT_R, STEREO_PORTS };

static int live_instances;
static int activations;
static unsigned long last_instantiate_rate;
static float last_rate_port;

int wendmoor_test_live_instances(void) { return live_instances; }
int wendmoor_test_activations(void) { return activations; }
unsigned long wendmoor_test_last_instantiate_rate(void) { return last_instantiate_rate; }
float wendmoor_test_last_rate_port(void) { return last_rate_port; }

typedef struct {
    LADSPA_Data* ports[HINTS_PORTS];
} Instance;

static LADSPA_Handle instantiate(const LADSPA_Descriptor* d, unsigned long rate) {
    (void)d;
    last_instantiate_rate = rate;
    live_instances++;
    return calloc(1, sizeof(Instance));
}

static LADSPA_Handle refuse(const LADSPA_Descriptor* d, unsigned long rate) {
    (void)d;
    (void)rate;
    return NULL;
}

static void connect_port(LADSPA_Handle h, unsigned long port, LADSPA_Data* where) {
    ((Instance*)h)->ports[port] = where;
}

static void activate(LADSPA_Handle h) {
    (void)h;
    activations++;
}

static void cleanup(LADSPA_Handle h) {
    live_instances--;
    free(h);
}

/* Output = input + the "Offset" control, so a test can drive the output anywhere. */
static void run_hints(LADSPA_Handle h, unsigned long n) {
    Instance* in = (Instance*)h;
    last_rate_port = *in->ports[HINTS_RATE];
    for (unsigned long i = 0; i < n; i++)
        in->ports[HINTS_OUTPUT][i] = in->ports[HINTS_INPUT][i] + *in->ports[HINTS_OFFSET];
    *in->ports[HINTS_LEVEL] = 1.0f;
}

static void run_swap(LADSPA_Handle h, unsigned long n) {
    Instance* in = (Instance*)h;
    for (unsigned long i = 0; i < n; i++) {
        in->ports[STEREO_OUT_L][i] = in->ports[STEREO_IN_R][i];
        in->ports[STEREO_OUT_R][i] = in->ports[STEREO_IN_L][i];
    }
}

#define IN_CONTROL (LADSPA_PORT_INPUT | LADSPA_PORT_CONTROL)
#define BOUNDED (LADSPA_HINT_BOUNDED_BELOW | LADSPA_HINT_BOUNDED_ABOVE)

static const LADSPA_PortDescriptor hints_ports[HINTS_PORTS] = {
    IN_CONTROL, IN_CONTROL, IN_CONTROL, IN_CONTROL, IN_CONTROL, IN_CONTROL, IN_CONTROL, IN_CONTROL,
    IN_CONTROL, LADSPA_PORT_INPUT | LADSPA_PORT_AUDIO, LADSPA_PORT_OUTPUT | LADSPA_PORT_AUDIO,
    LADSPA_PORT_OUTPUT | LADSPA_PORT_CONTROL};
static const char* const hints_names[HINTS_PORTS] = {
    "Frequency", "Stages", "Bypass", "Offset", "Low", "High", "Max", "Negative", "Rate", "Input", "Output", "Level"};
static const LADSPA_PortRangeHint hints_ranges[HINTS_PORTS] = {
    {BOUNDED, 20, 20000},
    {BOUNDED | LADSPA_HINT_INTEGER | LADSPA_HINT_DEFAULT_MIDDLE, 1, 7},
    {LADSPA_HINT_TOGGLED, 0, 0},
    {0, 0, 0},
    {BOUNDED | LADSPA_HINT_DEFAULT_LOW, 10, 110},
    {BOUNDED | LADSPA_HINT_DEFAULT_HIGH, 10, 110},
    {BOUNDED | LADSPA_HINT_DEFAULT_MAXIMUM, 10, 110},
    {BOUNDED | LADSPA_HINT_DEFAULT_MIDDLE, -60, -10},
    {BOUNDED | LADSPA_HINT_SAMPLE_RATE, 0, 0.5f},
    {0, 0, 0},
    {0, 0, 0},
    {0, 0, 0}};

static const LADSPA_PortDescriptor stereo_ports[STEREO_PORTS] = {
    LADSPA_PORT_INPUT | LADSPA_PORT_AUDIO, LADSPA_PORT_INPUT | LADSPA_PORT_AUDIO,
    LADSPA_PORT_OUTPUT | LADSPA_PORT_AUDIO, LADSPA_PORT_OUTPUT | LADSPA_PORT_AUDIO};
static const char* const stereo_names[STEREO_PORTS] = {"In L", "In R", "Out L", "Out R"};
static const LADSPA_PortRangeHint stereo_ranges[STEREO_PORTS] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}};

static const LADSPA_Descriptor descriptors[] = {
    {4242001, "wendmoor_test_hints", LADSPA_PROPERTY_HARD_RT_CAPABLE, "Wendmoor Test Hints", "Wendmoor", "None",
     HINTS_PORTS, hints_ports, hints_names, hints_ranges, NULL, instantiate, connect_port, activate, run_hints,
     NULL, NULL, NULL, cleanup},
    {4242002, "wendmoor_test_swap", LADSPA_PROPERTY_HARD_RT_CAPABLE, "Wendmoor Test Swap", "Wendmoor", "None",
     STEREO_PORTS, stereo_ports, stereo_names, stereo_ranges, NULL, instantiate, connect_port, NULL, run_swap,
     NULL, NULL, NULL, cleanup},
    {4242003, "wendmoor_test_refuses", 0, "Wendmoor Test Refuses", "Wendmoor", "None", STEREO_PORTS,
     stereo_ports, stereo_names, stereo_ranges, NULL, refuse, connect_port, NULL, run_swap, NULL, NULL, NULL,
     cleanup},
};

const LADSPA_Descriptor* ladspa_descriptor(unsigned long index) {
    return index < sizeof(descriptors) / sizeof(descriptors[0]) ? &descriptors[index] : NULL;
}
