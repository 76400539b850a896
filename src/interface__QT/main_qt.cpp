#include "tracker/program_entry.h"

int main(int argc, char** argv) {
    return wendmoor_main(argc, argv);
}
