#include "tracker/program_entry.h"

int wendmoor_main(int, char**) {
    return 0;
}
